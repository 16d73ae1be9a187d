// module/batch/worker_pool.cpp: the worker threads: waking them for a job, sharing out its chunks, waiting for them.
#include "worker_pool.hpp"

#include <unistd.h>

#include <chrono>

namespace quorvel::batch {

// A worker that finished a job polls for the next one this long before it
// sleeps: back-to-back steps then start without a wake-up through the kernel,
// while a caller busy elsewhere (a policy network between steps) gets its cores
// back almost at once.
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(50);

struct WorkerPool::Crew {
    std::mutex mutex;
    std::condition_variable wake;   // workers: a new job or stop
    std::condition_variable idle;   // caller: the last worker left the job
    std::atomic<std::uint64_t> generation{0};  // bumped once per job
    bool stopping = false;

    // The job being run; written by the caller before the generation changes.
    Task task = nullptr;
    void* context = nullptr;
    std::size_t count = 0;
    std::size_t chunk = 1;
    std::atomic<std::size_t> next{0};    // first index not yet handed out
    std::atomic<unsigned> working{0};    // workers not yet done with the job
    std::exception_ptr error;            // first failure, under mutex

    std::vector<std::thread> threads;

    // Takes chunks until none is left; records the first exception.
    void work() noexcept {
        for (;;) {
            const std::size_t begin = next.fetch_add(chunk, std::memory_order_relaxed);
            if (begin >= count) return;
            const std::size_t end = begin + chunk < count ? begin + chunk : count;
            try {
                task(context, begin, end);
            } catch (...) {
                std::lock_guard lock(mutex);
                if (!error) error = std::current_exception();
            }
        }
    }

    void worker_loop() noexcept {
        std::uint64_t seen = 0;
        for (;;) {
            const auto spin_until = std::chrono::steady_clock::now() + kSpinBeforeSleep;
            while (generation.load(std::memory_order_acquire) == seen &&
                   std::chrono::steady_clock::now() < spin_until) {
                std::this_thread::yield();
            }
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return stopping || generation.load() != seen; });
                if (stopping) return;
                seen = generation.load();
            }
            work();
            if (working.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                std::lock_guard lock(mutex);
                idle.notify_one();
            }
        }
    }
};

WorkerPool::WorkerPool(unsigned threads) : threads_(threads < 1 ? 1 : threads), owner_pid_(getpid()) {
    start_crew();
}

void WorkerPool::start_crew() {
    crew_ = std::make_unique<Crew>();
    crew_->threads.reserve(threads_ - 1);
    try {
        for (unsigned i = 1; i < threads_; ++i) {
            crew_->threads.emplace_back([crew = crew_.get()] { crew->worker_loop(); });
        }
    } catch (...) {
        stop_crew();  // joins the ones started
        throw;
    }
}

WorkerPool::~WorkerPool() { stop_crew(); }

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
    if (owner_pid_ != getpid()) {
        // In a forked child the workers do not exist: start new ones.
        (void)crew_.release();
        owner_pid_ = getpid();
        start_crew();
    }
    Crew& crew = *crew_;
    if (crew.threads.empty() || count <= chunk) {
        task(context, 0, count);
        return;
    }
    {
        std::lock_guard lock(crew.mutex);
        crew.task = task;
        crew.context = context;
        crew.count = count;
        crew.chunk = chunk;
        crew.next.store(0, std::memory_order_relaxed);
        crew.working.store(static_cast<unsigned>(crew.threads.size()), std::memory_order_relaxed);
        crew.error = nullptr;
        crew.generation.fetch_add(1, std::memory_order_release);
    }
    crew.wake.notify_all();
    crew.work();
    {
        std::unique_lock lock(crew.mutex);
        crew.idle.wait(lock, [&] { return crew.working.load(std::memory_order_acquire) == 0; });
    }
    if (crew.error) std::rethrow_exception(crew.error);
}

}  // namespace quorvel::batch
