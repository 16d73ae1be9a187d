// box2d_memory/b2_alloc_reserve.cpp: Box2D's allocator, lending from a reserve when the system has no memory left.
//
// Box2D 2.4 takes all its memory through b2Alloc_Default and gives it back
// through b2Free_Default, and it cannot survive either failing: a null pointer
// is written through (b2DynamicTree::AllocateNode, b2BlockAllocator), and an
// exception thrown out of a step unwinds through its stack allocator out of
// order, which trips its assertions. So an allocation the system refuses is
// served from a reserve set aside at load time instead, and counted: the
// engine finishes its call (a tick, a kick-off, building a world), with Box2D
// whole, sees the count moved, and throws std::bad_alloc, which reaches Python
// as MemoryError. While half the reserve or more is lent, the engine starts no
// new Box2D call (it throws std::bad_alloc up front), so what is left serves
// the calls under way on other threads. Box2D calls these through the dynamic linker; our binaries list
// this library ahead of Box2D's, so these definitions are the ones it binds to.
#include "b2_reserve.hpp"

#include <box2d/b2_settings.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>

std::atomic<std::size_t> quorvel_b2_reserve_loans{0};
std::atomic<bool> quorvel_b2_reserve_low{false};

namespace {

// Enough for one tick of the largest crowd the engine accepts (512 a side:
// its contact solver's arrays and new contact blocks take about 2 MiB) on
// several threads at once. Untouched, it costs address space, not memory.
constexpr std::size_t kReserveBytes = std::size_t{32} << 20;
constexpr std::size_t kAlign = 16;

struct alignas(kAlign) Header {
    std::size_t size;  // of the block after this header, rounded up to kAlign
};

alignas(kAlign) unsigned char reserve[kReserveBytes];
std::mutex reserve_mutex;
std::size_t reserve_top = 0;    // under reserve_mutex: bytes used from the start
std::size_t reserve_blocks = 0; // under reserve_mutex: blocks lent and not yet back
std::atomic<std::size_t> allocations{0};
std::atomic<std::size_t> refuse_after{SIZE_MAX};  // quorvel_b2_refuse_after's countdown

bool in_reserve(const void* p) {
    const auto* byte = static_cast<const unsigned char*>(p);
    return byte >= reserve && byte < reserve + kReserveBytes;
}

void* lend(std::size_t size) {
    const std::size_t rounded = (size + kAlign - 1) / kAlign * kAlign;
    std::lock_guard lock(reserve_mutex);
    if (kReserveBytes - reserve_top < sizeof(Header) + rounded) {
        // Nothing left to lend: a null pointer would be written through.
        std::fputs("quorvel: out of memory inside Box2D, and its reserve is spent\n", stderr);
        std::abort();
    }
    auto* header = reinterpret_cast<Header*>(reserve + reserve_top);
    header->size = rounded;
    reserve_top += sizeof(Header) + rounded;
    quorvel_b2_reserve_low.store(reserve_top >= kReserveBytes / 2, std::memory_order_relaxed);
    ++reserve_blocks;
    quorvel_b2_reserve_loans.fetch_add(1, std::memory_order_relaxed);
    return header + 1;
}

void take_back(void* p) {
    Header* header = static_cast<Header*>(p) - 1;
    std::lock_guard lock(reserve_mutex);
    // The newest block goes back on top of the reserve (Box2D frees its
    // per-step arrays in reverse order); the rest once every block is back.
    if (reinterpret_cast<unsigned char*>(p) + header->size == reserve + reserve_top) {
        reserve_top = static_cast<std::size_t>(reinterpret_cast<unsigned char*>(header) - reserve);
    }
    if (--reserve_blocks == 0) reserve_top = 0;
    quorvel_b2_reserve_low.store(reserve_top >= kReserveBytes / 2, std::memory_order_relaxed);
}

// Whether a test asks for this allocation to be refused.
bool refused_for_test() {
    std::size_t left = refuse_after.load(std::memory_order_relaxed);
    while (left != SIZE_MAX && left > 0 &&
           !refuse_after.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
    }
    return left == 0;
}

}  // namespace

void* b2Alloc_Default(int32 size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    const std::size_t bytes = size > 0 ? static_cast<std::size_t>(size) : 1;
    if (!refused_for_test()) {
        if (void* p = std::malloc(bytes)) return p;
    }
    return lend(bytes);
}

void b2Free_Default(void* mem) {
    if (in_reserve(mem)) {
        take_back(mem);
    } else {
        std::free(mem);
    }
}


std::size_t quorvel_b2_reserve_in_use() noexcept {
    std::lock_guard lock(reserve_mutex);
    return reserve_top;
}

void quorvel_b2_refuse_after(std::size_t allocations) noexcept {
    refuse_after.store(allocations, std::memory_order_relaxed);
}

std::size_t quorvel_b2_allocations() noexcept { return allocations.load(std::memory_order_relaxed); }
