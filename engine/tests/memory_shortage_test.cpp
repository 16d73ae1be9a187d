// engine/tests/memory_shortage_test.cpp: Box2D running out of memory inside a build or a tick: std::bad_alloc, the world whole.
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "b2_reserve.hpp"
#include "quorvel/limits.hpp"
#include "test_support.hpp"

namespace quorvel {
namespace {

// A team piled onto one spot: its first ticks make about two thousand
// contacts, which Box2D allocates as it finds them.
EngineConfig piled() {
    EngineConfig c;
    c.players_per_team = kMaxPiledPlayersPerTeam;
    c.field_width = 0.0f;
    c.field_height = 2.0f * c.player_radius;
    c.formation_jitter = 0.0f;
    return c;
}

// While it lives, no address space is left: the limit is set to what is
// mapped now plus `room` bytes, and the room is then mapped (untouched, so it
// costs no memory). Its end gives both back.
class NoRoom {
public:
    explicit NoRoom(std::size_t room) {
        getrlimit(RLIMIT_AS, &before_);
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        rlimit tight = before_;
        tight.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(getpagesize()) + room;
        setrlimit(RLIMIT_AS, &tight);
        taken_.reserve(64);
        for (std::size_t size = std::size_t{1} << 30; size >= 4096;) {
            void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) {
                size /= 2;
            } else {
                taken_.emplace_back(p, size);
            }
        }
    }
    ~NoRoom() {
        for (auto [p, size] : taken_) munmap(p, size);
        setrlimit(RLIMIT_AS, &before_);
    }
    NoRoom(const NoRoom&) = delete;
    NoRoom& operator=(const NoRoom&) = delete;

private:
    rlimit before_{};
    std::vector<std::pair<void*, std::size_t>> taken_;
};

// Runs `body` in a child process (a memory limit must not reach the other
// tests) and expects it to exit with status 0.
template <class Body>
void in_child(Body&& body) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(120);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

#if defined(__SANITIZE_ADDRESS__)
#define SKIP_UNDER_ASAN() GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space"
#else
#define SKIP_UNDER_ASAN() (void)0
#endif

TEST(MemoryShortage, BoxTwoDAllocatesThroughTheReserveLibrary) {
    const std::size_t before = quorvel_b2_allocations();
    Engine engine(EngineConfig{}, 1);
    EXPECT_GT(quorvel_b2_allocations(), before);
}

TEST(MemoryShortage, ATickThatRunsShortThrowsAndLeavesItsWorldWhole) {
    const Actions still;
    // The first tick of a pile finds its contacts: refused at its first
    // allocation, its second, its fourth... up to past its last.
    for (std::size_t after = 0;; after = after ? 2 * after : 1) {
        Engine engine(piled(), 1);
        Engine twin(piled(), 1);
        quorvel_b2_refuse_after(after);
        bool short_of_memory = false;
        try {
            engine.advance(still, still);
        } catch (const std::bad_alloc&) {
            short_of_memory = true;
        }
        quorvel_b2_refuse_after(SIZE_MAX);
        twin.advance(still, still);
        // The tick was played whole all the same, and play goes on.
        for (int tick = 0; tick < 3; ++tick) {
            engine.advance(still, still);
            twin.advance(still, still);
        }
        EXPECT_EQ(engine.status().tick, twin.status().tick);
        const std::vector<Vec2> got = player_positions(engine), want = player_positions(twin);
        for (std::size_t i = 0; i < want.size(); ++i) expect_vec(got[i], want[i]);
        if (!short_of_memory) break;
        ASSERT_LT(after, 10000u);
    }
    EXPECT_EQ(quorvel_b2_reserve_in_use(), 0u);
}

TEST(MemoryShortage, TicksUnderAnAddressSpaceLimitRunShortAndRecover) {
    SKIP_UNDER_ASAN();
    in_child([] {
        std::vector<Engine> engines;
        for (std::uint64_t seed = 0; seed < 32; ++seed) engines.emplace_back(piled(), seed);
        const Actions still;
        bool short_of_memory = false;
        bool lent = false;
        {
            NoRoom none(std::size_t{4} << 20);
            for (int tick = 0; tick < 5 && !short_of_memory; ++tick) {
                for (Engine& e : engines) {
                    try {
                        e.advance(still, still);
                    } catch (const std::bad_alloc&) {
                        short_of_memory = true;  // as a batch does: no more ticks
                        break;
                    }
                }
            }
            lent = quorvel_b2_reserve_in_use() > 0;
        }
        // Whole worlds: they play on once memory is back, and give every
        // block back to the reserve when they go.
        for (Engine& e : engines) e.advance(still, still);
        engines.clear();
        return short_of_memory && lent && quorvel_b2_reserve_in_use() == 0;
    });
}

TEST(MemoryShortage, ABuildThatRunsShortThrowsAndKeepsNothing) {
    EngineConfig crowd;
    crowd.players_per_team = 512;
    crowd.field_width = 400.0f;
    crowd.field_height = 200.0f;
    const std::size_t before = quorvel_b2_allocations();
    { Engine counted(crowd, 1); }
    const std::size_t calls = quorvel_b2_allocations() - before;
    ASSERT_GT(calls, 4u);
    // Refused at each point of the build in turn, from the world's allocators
    // to the last bodies and the kick-off.
    for (std::size_t after = 0; after < calls; ++after) {
        const std::size_t loans = quorvel_b2_reserve_loans.load();
        quorvel_b2_refuse_after(after);
        EXPECT_THROW(Engine(crowd, 1), std::bad_alloc) << after;
        quorvel_b2_refuse_after(SIZE_MAX);
        EXPECT_GT(quorvel_b2_reserve_loans.load(), loans) << after;
        EXPECT_EQ(quorvel_b2_reserve_in_use(), 0u) << "a block of the abandoned world is still out";
    }
    Engine built(crowd, 1);  // and nothing is left that stops the next one
    EXPECT_FALSE(quorvel_b2_reserve_low.load());
}

}  // namespace
}  // namespace quorvel
