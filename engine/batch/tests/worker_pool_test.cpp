// engine/batch/tests/worker_pool_test.cpp: the worker pool's coverage of a job, its failures, its life cycle and forks.
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "worker_pool.hpp"

namespace quorvel::batch {
namespace {

std::uint64_t mix(std::size_t i) {
    std::uint64_t x = i * 0x9e3779b97f4a7c15ull + 1;
    x ^= x >> 31;
    return x * 0xbf58476d1ce4e5b9ull;
}

// Runs one job on `pool` that counts every index it is handed and writes
// mix(index); true when each index was handed exactly once and the output
// equals the serial loop's.
bool covers_exactly_once(WorkerPool& pool, std::size_t count, std::size_t chunk) {
    std::vector<std::atomic<int>> hits(count);
    std::vector<std::uint64_t> out(count, 0);
    std::atomic<bool> in_range{true};
    auto body = [&](std::size_t begin, std::size_t end) {
        if (begin >= end || end > count) in_range = false;
        for (std::size_t i = begin; i < end && i < count; ++i) {
            hits[i].fetch_add(1, std::memory_order_relaxed);
            out[i] = mix(i);
        }
    };
    pool.run(count, chunk, body);
    bool ok = in_range;
    for (std::size_t i = 0; i < count; ++i) ok = ok && hits[i].load() == 1 && out[i] == mix(i);
    return ok;
}

struct Job {
    unsigned threads;
    std::size_t count;
    std::size_t chunk;
};

std::vector<Job> job_grid() {
    std::vector<Job> jobs;
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
        for (std::size_t chunk : {0u, 1u, 7u}) {
            for (std::size_t count : {std::size_t{0}, std::size_t{1}, chunk > 0 ? chunk - 1 : 0, std::size_t{1000}}) {
                for (std::size_t c : {chunk, count + 1}) {
                    const bool seen = std::any_of(jobs.begin(), jobs.end(), [&](const Job& j) {
                        return j.threads == threads && j.count == count && j.chunk == c;
                    });
                    if (!seen) jobs.push_back({threads, count, c});
                }
            }
        }
    }
    return jobs;
}

class WorkerPoolJob : public testing::TestWithParam<Job> {};

TEST_P(WorkerPoolJob, HandsOutEveryIndexExactlyOnceAsASerialLoopWould) {
    const Job job = GetParam();
    WorkerPool pool(job.threads);
    // Twice on one pool: the second job must not see the first's counter or entry.
    EXPECT_TRUE(covers_exactly_once(pool, job.count, job.chunk));
    EXPECT_TRUE(covers_exactly_once(pool, job.count, job.chunk));
}

INSTANTIATE_TEST_SUITE_P(Grid, WorkerPoolJob, testing::ValuesIn(job_grid()), [](const auto& info) {
    std::ostringstream name;
    name << "t" << info.param.threads << "_n" << info.param.count << "_c" << info.param.chunk;
    return name.str();
});

class WorkerPoolThreads : public testing::TestWithParam<unsigned> {};

TEST_P(WorkerPoolThreads, CountsTheCallerAndAtLeastOneThread) {
    const unsigned n = GetParam();
    EXPECT_EQ(WorkerPool(n).threads(), n < 1 ? 1u : n);
}

TEST_P(WorkerPoolThreads, RethrowsAFailureOnceEveryThreadHasLeftTheJob) {
    WorkerPool pool(GetParam());
    std::atomic<int> inside{0};
    auto body = [&](std::size_t begin, std::size_t end) {
        inside.fetch_add(1);
        struct Leave {
            std::atomic<int>& inside;
            ~Leave() { inside.fetch_sub(1); }
        } leave{inside};
        for (std::size_t i = begin; i < end; ++i) {
            if (i % 300 == 299) throw std::runtime_error("index " + std::to_string(i));
        }
    };
    for (int attempt = 0; attempt < 20; ++attempt) {
        try {
            pool.run(1000, 7, body);
            ADD_FAILURE() << "no exception reached the caller";
        } catch (const std::runtime_error& e) {
            const std::string what = e.what();
            EXPECT_TRUE(what == "index 299" || what == "index 599" || what == "index 899") << what;
        }
        EXPECT_EQ(inside.load(), 0) << "a thread still worked on the failed job";
        // The failure is not kept for the next job.
        EXPECT_TRUE(covers_exactly_once(pool, 1000, 7));
    }
}

TEST_P(WorkerPoolThreads, RunsThousandsOfBackToBackJobs) {
    WorkerPool pool(GetParam());
    std::vector<std::atomic<int>> hits(64);
    std::vector<int> expected(64, 0);
    for (std::size_t job = 0; job < 3000; ++job) {
        const std::size_t count = job % 64 + 1;
        for (std::size_t i = 0; i < count; ++i) ++expected[i];
        auto body = [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) hits[i].fetch_add(1, std::memory_order_relaxed);
        };
        pool.run(count, job % 4, body);
    }
    for (std::size_t i = 0; i < hits.size(); ++i) EXPECT_EQ(hits[i].load(), expected[i]) << "index " << i;
}

TEST_P(WorkerPoolThreads, StopsRightAfterStartingOrAfterAJob) {
    for (int i = 0; i < 50; ++i) WorkerPool pool(GetParam());
    for (int i = 0; i < 50; ++i) {
        WorkerPool pool(GetParam());
        EXPECT_TRUE(covers_exactly_once(pool, 100, 3));
    }
}

TEST_P(WorkerPoolThreads, WorksInAForkedChild) {
    WorkerPool pool(GetParam());
    ASSERT_TRUE(covers_exactly_once(pool, 1000, 7));  // the parent's workers have run
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(60);  // a hang ends the child rather than the test run
        bool ok = true;
        for (int job = 0; job < 20; ++job) ok = covers_exactly_once(pool, 1000, 7) && ok;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(covers_exactly_once(pool, 1000, 7));  // the parent's pool is untouched
}

TEST(WorkerPool, RetriesAForkedChildsWorkersAfterTheyFailedToStart) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer runtime needs new mappings of its own";
#endif
    WorkerPool pool(3);
    ASSERT_TRUE(covers_exactly_once(pool, 1000, 7));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(60);
        // No room left for a thread's stack, and stacks too large to reuse the
        // parent workers' cached ones: the restart of the workers fails.
        pthread_attr_t usual;
        pthread_getattr_default_np(&usual);
        pthread_attr_t large;
        pthread_attr_init(&large);
        pthread_attr_setstacksize(&large, std::size_t{1} << 30);
        pthread_setattr_default_np(&large);
        rlimit loose{};
        getrlimit(RLIMIT_AS, &loose);
        const rlimit tight{1 << 20, loose.rlim_max};
        setrlimit(RLIMIT_AS, &tight);
        bool refused = false;
        auto nothing = [](std::size_t, std::size_t) {};
        try {
            pool.run(1000, 7, nothing);
        } catch (const std::system_error&) {
            refused = true;
        }
        setrlimit(RLIMIT_AS, &loose);
        pthread_setattr_default_np(&usual);
        _exit(refused && covers_exactly_once(pool, 1000, 7) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

INSTANTIATE_TEST_SUITE_P(Threads, WorkerPoolThreads, testing::Values(0u, 1u, 2u, 3u, 8u));

}  // namespace
}  // namespace quorvel::batch
