// engine/batch/worker_pool.cpp: the worker threads: publishing a job, sharing out its chunks, closing it.
#include "worker_pool.hpp"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel::batch {
namespace {

// A worker that finished a job polls for the next one this long before it
// sleeps: back-to-back steps then start without a wake-up through the kernel,
// while a caller busy elsewhere (a policy network between steps) gets its cores
// back almost at once.
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(50);

// The entry word of a job: its generation's low 32 bits, whether it still
// admits workers, and how many workers are inside it.
constexpr std::uint64_t kOpen = 1ull << 31;
constexpr std::uint64_t kInside = kOpen - 1;

constexpr std::uint64_t entry_of(std::uint64_t generation) { return generation << 32 | kOpen; }

}  // namespace

// The caller publishes a job, works on it, then closes it: a worker that wakes
// after the close stays out, so the caller waits only for workers already inside,
// never for one the kernel has not scheduled yet (beside another library's
// spinning threads that can take milliseconds).
struct WorkerPool::Crew {
    std::mutex mutex;
    std::condition_variable wake;               // sleeping workers: a new job or stop
    std::atomic<std::uint64_t> published{0};    // generation of the latest job
    bool stopping = false;                      // under mutex

    // The job, written by the caller before it opens the entry word.
    Task task = nullptr;
    void* context = nullptr;
    std::size_t chunk = 1;
    // The indices split into one contiguous segment a thread, taken from first:
    // a match then runs on the same core step after step while the threads keep
    // pace, and its world stays in that core's cache. A thread that finishes its
    // own segment takes chunks from the others'.
    struct alignas(64) Segment {
        std::atomic<std::size_t> next{0};       // first index not yet handed out
        std::size_t end = 0;
    };
    std::vector<Segment> segments;              // one a thread, the caller's first
    std::atomic<std::uint64_t> entry{0};
    std::exception_ptr error;                   // first failure, under mutex
    std::atomic<bool> failed{false};            // a task threw: no more chunks of this job

    std::vector<std::thread> threads;

    explicit Crew(unsigned threads) : segments(threads) {}

    // Takes chunks, from segment `own` first, until none is left anywhere or
    // a task has thrown; records the first exception.
    void work(unsigned own) noexcept {
        for (std::size_t k = 0; k < segments.size(); ++k) {
            Segment& segment = segments[(own + k) % segments.size()];
            for (;;) {
                if (failed.load(std::memory_order_relaxed)) return;
                const std::size_t begin = segment.next.fetch_add(chunk, std::memory_order_relaxed);
                if (begin >= segment.end) break;
                const std::size_t end = begin + chunk < segment.end ? begin + chunk : segment.end;
                try {
                    task(context, begin, end);
                } catch (...) {
                    failed.store(true, std::memory_order_relaxed);
                    std::lock_guard lock(mutex);
                    if (!error) error = std::current_exception();
                }
            }
        }
    }

    // Enters job `generation` if it still admits workers.
    bool enter(std::uint64_t generation) noexcept {
        std::uint64_t e = entry.load(std::memory_order_relaxed);
        while ((e & ~kInside) == entry_of(generation)) {
            if (entry.compare_exchange_weak(e, e + 1, std::memory_order_acquire)) return true;
        }
        return false;
    }

    void leave() noexcept {
        const std::uint64_t e = entry.fetch_sub(1, std::memory_order_release) - 1;
        if ((e & kInside) == 0 && !(e & kOpen)) entry.notify_all();  // the caller waits for this
    }

    std::uint64_t await_job(std::uint64_t seen) {
        const auto spin_until = std::chrono::steady_clock::now() + kSpinBeforeSleep;
        while (published.load(std::memory_order_acquire) == seen &&
               std::chrono::steady_clock::now() < spin_until) {
            std::this_thread::yield();
        }
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return stopping || published.load(std::memory_order_relaxed) != seen; });
        return stopping ? seen : published.load(std::memory_order_acquire);
    }

    void worker_loop(unsigned own) noexcept {
        // The C++ runtime's per-thread exception state is made on first use,
        // and the C library aborts the process when it cannot allocate
        // thread-local data: make it now, not when a task throws because
        // memory ran out.
        [[maybe_unused]] volatile int made = std::uncaught_exceptions();  // a pure call, kept
        std::uint64_t seen = 0;
        for (;;) {
            const std::uint64_t job = await_job(seen);
            if (job == seen) return;  // stopping
            seen = job;
            if (!enter(job & 0xffffffffu)) continue;  // closed before this worker woke
            work(own);
            leave();
        }
    }

    void run(std::size_t n, std::size_t c, Task t, void* ctx) {
        std::uint64_t generation;
        {
            std::lock_guard lock(mutex);
            task = t;
            context = ctx;
            chunk = c;
            error = nullptr;
            failed.store(false, std::memory_order_relaxed);
            const std::size_t shares = segments.size();
            for (std::size_t k = 0; k < shares; ++k) {
                segments[k].next.store(n * k / shares, std::memory_order_relaxed);
                segments[k].end = n * (k + 1) / shares;
            }
            generation = published.load(std::memory_order_relaxed) + 1;
            entry.store(entry_of(generation & 0xffffffffu), std::memory_order_release);
            published.store(generation, std::memory_order_release);
        }
        wake.notify_all();
        work(0);
        // Close, then wait for the workers inside to finish their chunks.
        std::uint64_t e = entry.fetch_and(~kOpen, std::memory_order_acquire) & ~kOpen;
        while (e & kInside) {
            entry.wait(e, std::memory_order_acquire);
            e = entry.load(std::memory_order_acquire);
        }
        std::lock_guard lock(mutex);
        if (error) std::rethrow_exception(std::exchange(error, nullptr));
    }
};

WorkerPool::WorkerPool(unsigned threads) : threads_(threads < 1 ? 1 : threads), owner_pid_(getpid()) {
    start_crew();
}

WorkerPool::~WorkerPool() { stop_crew(); }

void WorkerPool::start_crew() {
    crew_ = std::make_unique<Crew>(threads_);
    crew_->threads.reserve(threads_ - 1);
    try {
        for (unsigned i = 1; i < threads_; ++i) {
            crew_->threads.emplace_back([crew = crew_.get(), i] { crew->worker_loop(i); });
        }
    } catch (...) {
        stop_crew();  // joins the ones started
        throw;
    }
}

void WorkerPool::stop_crew() noexcept {
    if (!crew_) return;
    if (owner_pid_ != getpid()) {
        // A forked child: the threads are not there to join, and the crew's
        // mutex may have been held by one of them at the fork. Left behind.
        (void)crew_.release();
        return;
    }
    {
        std::lock_guard lock(crew_->mutex);
        crew_->stopping = true;
    }
    crew_->wake.notify_all();
    for (std::thread& t : crew_->threads) t.join();
    crew_.reset();
}

void WorkerPool::run(std::size_t count, std::size_t chunk, Task task, void* context) {
    if (count == 0) return;
    if (chunk == 0) chunk = 1;
    if (threads_ == 1) {
        // No workers to lose in a fork, so no need to ask the kernel who we are.
        task(context, 0, count);
        return;
    }
    if (owner_pid_ != getpid()) {
        // In a forked child the workers do not exist: start new ones.
        (void)crew_.release();
        owner_pid_ = getpid();
    }
    // Also retried here when a forked child's start failed, which left no crew.
    if (!crew_) start_crew();
    if (crew_->threads.empty() || count <= chunk) {
        task(context, 0, count);
        return;
    }
    crew_->run(count, chunk, task, context);
}

}  // namespace quorvel::batch
