#include "platform/workerPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// WebAssembly without its threads option, and MinGW's win32 thread model
// before GCC 13, have no std::thread: every job runs inline there.
#if (defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)) ||                              \
    (defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS))
#define BRAMBLEWISP_THREADS 0
#else
#define BRAMBLEWISP_THREADS 1
#endif

namespace bramblewisp::platform {

namespace {

// One job: its parts go to whoever asks next.
struct Job {
    Job(void (*call)(void*, int), void* callable, int parts)
        : call(call), callable(callable), parts(parts) {}

    void (*call)(void*, int);
    void* callable;
    int parts;
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure; // written once, by the part that set failed
    int helpers = 0;            // workers inside the job; under the pool's mutex

    void work() {
        for (int part; (part = next.fetch_add(1, std::memory_order_relaxed)) < parts;) {
            try {
                call(callable, part);
            } catch (...) {
                if (!failed.exchange(true)) {
                    failure = std::current_exception();
                }
                next.store(parts, std::memory_order_relaxed);
            }
        }
    }
};

} // namespace

struct WorkerPool::Shared {
    std::mutex mutex;
    std::condition_variable posted; // a job came, or the pool stops
    std::condition_variable left;   // the last helper left a job
    Job* job = nullptr;
    uint64_t jobs = 0; // jobs posted so far
    bool stopping = false;
    std::atomic<bool> busy{false};
    std::vector<std::thread> threads;

    void serve() {
        uint64_t seen = 0;
        std::unique_lock lock(mutex);
        for (;;) {
            posted.wait(lock, [&] { return stopping || (job != nullptr && jobs != seen); });
            if (stopping) {
                return;
            }
            seen = jobs;
            Job& current = *job;
            ++current.helpers;
            lock.unlock();
            current.work();
            lock.lock();
            if (--current.helpers == 0) {
                left.notify_all();
            }
        }
    }
};

WorkerPool::WorkerPool(int workers) : shared(std::make_unique<Shared>()) {
#if BRAMBLEWISP_THREADS
    for (int k = 1; k < workers; ++k) {
        try {
            shared->threads.emplace_back([state = shared.get()] { state->serve(); });
        } catch (const std::system_error&) {
            break; // the system allows no more threads: the pool makes do
        }
    }
#else
    (void)workers;
#endif
    threadCount = static_cast<int>(shared->threads.size());
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(shared->mutex);
        shared->stopping = true;
    }
    shared->posted.notify_all();
    for (std::thread& thread : shared->threads) {
        thread.join();
    }
}

void WorkerPool::runParts(int parts, void (*call)(void*, int), void* callable) {
    if (parts <= 0) {
        return;
    }
    if (threadCount == 0 || parts == 1 || shared->busy.exchange(true, std::memory_order_acquire)) {
        for (int part = 0; part < parts; ++part) {
            call(callable, part);
        }
        return;
    }
    Job job(call, callable, parts);
    {
        const std::lock_guard lock(shared->mutex);
        shared->job = &job;
        ++shared->jobs;
    }
    for (int k = std::min(parts - 1, threadCount); k > 0; --k) {
        shared->posted.notify_one();
    }
    job.work();
    {
        // No worker joins once the job is withdrawn; those inside finish
        // their parts.
        std::unique_lock lock(shared->mutex);
        shared->job = nullptr;
        shared->left.wait(lock, [&] { return job.helpers == 0; });
    }
    shared->busy.store(false, std::memory_order_release);
    if (job.failure) {
        std::rethrow_exception(job.failure);
    }
}

} // namespace bramblewisp::platform
