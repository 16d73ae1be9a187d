// engine/batch/capacity.cpp: the machine's cores and memory, as a batch may use them.
#include "capacity.hpp"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace quorvel::batch {
namespace {

// Resident memory a match may take, engine and buffers.
constexpr std::size_t kBytesPerMatch = 128 * 1024;

}  // namespace

unsigned usable_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    const unsigned reported = std::thread::hardware_concurrency();
    return reported ? reported : 1;
}

std::size_t most_matches(const EngineConfig&) {
    const long long pages = sysconf(_SC_PHYS_PAGES);
    const long long page = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page <= 0) return std::size_t{1} << 24;
    return std::max<std::size_t>(1, static_cast<std::size_t>(static_cast<double>(pages) * static_cast<double>(page) /
                                                              static_cast<double>(kBytesPerMatch)));
}

}  // namespace quorvel::batch
