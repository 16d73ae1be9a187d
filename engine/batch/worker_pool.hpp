// engine/batch/worker_pool.hpp: a persistent pool of worker threads that runs one indexed job at a time.
#pragma once

#include <cstddef>
#include <memory>

namespace quorvel::batch {

/// Runs a job over indices [0, count) on the calling thread and `threads - 1`
/// workers started once. Each thread takes chunks from its own contiguous share
/// of the indices first (so index i keeps to one core while the threads keep
/// pace), then from the others' shares, so a slow thread takes fewer of them;
/// each index is processed exactly once, by
/// whichever thread takes it, so a job whose indices touch disjoint state gives
/// the same result for every thread count. Knows nothing of Python.
class WorkerPool {
public:
    /// The body of a job: processes indices [begin, end). Called concurrently.
    using Task = void (*)(void* context, std::size_t begin, std::size_t end);

    /// Starts threads - 1 workers (none for 0 or 1). Throws std::system_error
    /// when a thread cannot be started, having stopped those it started.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// Threads that work on a job, the caller's included.
    unsigned threads() const { return threads_; }

    /// Runs task over [0, count) in chunks of `chunk` indices and returns when
    /// every index is done. Once a task has thrown, no thread takes another
    /// chunk of the job (it failed: a batch that ran out of memory stops
    /// asking for more); the first exception is rethrown here, after every
    /// thread has stopped working on the job. One job at a time: the caller
    /// serialises calls.
    void run(std::size_t count, std::size_t chunk, Task task, void* context);

    /// run() for any callable taking (begin, end).
    template <class F>
    void run(std::size_t count, std::size_t chunk, F& body) {
        run(count, chunk, [](void* f, std::size_t b, std::size_t e) { (*static_cast<F*>(f))(b, e); },
            &body);
    }

private:
    struct Crew;  // the worker threads and what they share

    void start_crew();
    void stop_crew() noexcept;

    unsigned threads_;
    std::unique_ptr<Crew> crew_;
    int owner_pid_;  // a forked child inherits the pool but not its threads
};

}  // namespace quorvel::batch
