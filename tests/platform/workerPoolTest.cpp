#include "platform/workerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace bramblewisp {
namespace {

// Every part exactly once, job after job, for any number of parts and
// workers; a part that runs a job of its own gets it done inline.
TEST(WorkerPool, RunsEveryPartOnceAndNestedJobsInline) {
    for (const int count : {1, 2, 3, 7}) {
        platform::WorkerPool pool(count);
        EXPECT_EQ(pool.workers(), count);
        for (const int parts : {0, 1, 2, 5, 1000}) {
            for (int round = 0; round < 20; ++round) {
                std::vector<std::atomic<int>> runs(static_cast<std::size_t>(parts));
                pool.run(parts, [&](int part) { ++runs[static_cast<std::size_t>(part)]; });
                for (int part = 0; part < parts; ++part) {
                    ASSERT_EQ(runs[static_cast<std::size_t>(part)], 1)
                        << count << " workers, part " << part << " of " << parts;
                }
            }
        }
        std::vector<std::atomic<int>> inner(40);
        pool.run(4, [&](int outer) {
            const std::thread::id self = std::this_thread::get_id();
            pool.run(10, [&](int part) {
                EXPECT_EQ(std::this_thread::get_id(), self);
                ++inner[static_cast<std::size_t>(10 * outer + part)];
            });
        });
        for (const std::atomic<int>& runs : inner) {
            EXPECT_EQ(runs, 1) << count << " workers";
        }
    }
}

// A failing part's exception reaches the caller, and the pool goes on
// serving; two threads that share a pool both get their jobs done.
TEST(WorkerPool, PassesFailuresOnAndServesTwoCallers) {
    platform::WorkerPool pool(3);
    std::atomic<int> started{0};
    EXPECT_THROW(pool.run(100,
                          [&](int part) {
                              ++started;
                              if (part == 3) {
                                  throw std::runtime_error("part 3");
                              }
                          }),
                 std::runtime_error);
    EXPECT_GE(started, 1);
    std::atomic<int> sums[2] = {0, 0};
    std::thread other([&] {
        for (int round = 0; round < 200; ++round) {
            pool.run(7, [&](int part) { sums[0] += part; });
        }
    });
    for (int round = 0; round < 200; ++round) {
        pool.run(7, [&](int part) { sums[1] += part; });
    }
    other.join();
    EXPECT_EQ(sums[0], 200 * 21);
    EXPECT_EQ(sums[1], 200 * 21);
}

} // namespace
} // namespace bramblewisp
