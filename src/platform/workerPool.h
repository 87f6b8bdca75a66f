#pragma once

#include <memory>
#include <type_traits>

namespace bramblewisp::platform {

// The threads that share the work of a picture. main starts one pool for the
// whole process and passes it down; the library holds none of its own.
// Idle workers sleep, and the caller of a job works on it too, so a pool of
// n workers runs n threads at most.
//
// Whatever the number of workers, a job must give the same result: its parts
// may run in any order and side by side, so each part writes only what no
// other part reads or writes.
class WorkerPool {
  public:
    // workers: the threads that take part in a job, the caller's included.
    // One, or a build without threads (WebAssembly), runs every job inline.
    explicit WorkerPool(int workers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int workers() const { return threadCount + 1; }

    // Calls task(part) once for every part from 0 to parts - 1 and returns
    // when all have returned. A job that starts while another one runs (a
    // part that runs a job of its own, as a picture drawn by a batch worker
    // does, or a second thread) runs inline, part after part: nesting can
    // neither deadlock nor start more threads. The first exception of a part
    // is rethrown here once every part has stopped; parts not yet started
    // then never start.
    template <typename Task> void run(int parts, Task&& task) {
        using Callable = std::remove_reference_t<Task>;
        runParts(
            parts, [](void* callable, int part) { (*static_cast<Callable*>(callable))(part); },
            const_cast<void*>(static_cast<const void*>(&task)));
    }

  private:
    struct Shared;
    void runParts(int parts, void (*call)(void*, int), void* callable);

    std::unique_ptr<Shared> shared;
    int threadCount = 0;
};

} // namespace bramblewisp::platform
