#include "app/runBudget.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/injectedBudget.h"

namespace bramblewisp {
namespace {

// How many generations the timed loop's deadline lets grow: the options, the
// bitmaps and the system's building each take the lap to the next reading,
// then every generation's reservation takes one. Half-second ticks keep
// every time exact.
int generationsAllowed(int32_t limit, std::vector<int64_t> halfSeconds) {
    InjectedBudget injected{halfSeconds, {1u << 20}, 2};
    RunBudget budget(limit, injected.sources());
    budget.chargeParsing();
    budget.chargeStage();
    budget.chargeStage();
    int generations = 0;
    while (!budget.deadlinePassed() && budget.reserveNextGeneration()) {
        ++generations;
    }
    return generations;
}

// The deadline starts at half the budget minus 5 s, the preparation counts
// twice (its laps move both the deadline and the time), and every generation
// must leave sixteen times its own time before the deadline, reservations
// adding up. Each pair of cases stands on either side of a boundary.
TEST(RunBudgetTest, TimedDeadlineAtItsBoundaries) {
    const struct {
        int32_t limit;
        std::vector<int64_t> halfSeconds; // construction, three laps, one per generation
        int generations;
    } cases[] = {
        // 20 s: deadline 5 s; 2.5 s of preparation leave 2.5 s, reached already.
        {20, {0, 2, 4, 5}, 0},
        {20, {0, 2, 3, 4, 4, 5}, 1},
        // 90 s: deadline 40 s; 3 s of preparation leave 34 s = 17 x 2 s.
        {90, {0, 2, 4, 6, 10}, 0},
        {90, {0, 2, 4, 6, 9, 10}, 1},
        // Laps of 1 s and then 1 s reach the deadline, 1 s and 0.5 s do not.
        {90, {0, 2, 4, 6, 8, 10}, 1},
        {90, {0, 2, 4, 6, 8, 9, 10}, 2},
        // 10 s or less leaves no time at all.
        {10, {0, 0, 0, 0}, 0},
        {0, {0, 0, 0, 0}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(generationsAllowed(c.limit, c.halfSeconds), c.generations)
            << c.limit << " s, case " << &c - cases;
    }
    // A clock without a frequency reads not-a-number: no deadline is ahead.
    InjectedBudget broken{{0}, {1u << 20}, 0};
    EXPECT_TRUE(RunBudget(100, broken.sources()).deadlinePassed());
}

// The estimate starts at 5120 KB, takes the options' consumption once and
// every generation's four times (shrinking when memory came back), from the
// sample taken just before growth; memory ends when the free memory no longer
// exceeds it.
TEST(RunBudgetTest, MemoryEstimateAndItsEnd) {
    InjectedBudget injected{{0, 0}, {100000, 99000, 97000, 96000, 96500, 93979}};
    RunBudget budget(100, injected.sources());
    EXPECT_EQ(budget.estimateKB(), 5120);
    budget.chargeParsing(); // 1000 consumed
    EXPECT_EQ(budget.estimateKB(), 6120);
    EXPECT_EQ(budget.freeKB(), 97000); // a look that changes nothing
    budget.sampleBeforeGrowth();       // 96000, the stages' 3000 not charged
    EXPECT_EQ(budget.estimateKB(), 6120);
    EXPECT_FALSE(budget.memoryEnding()); // 500 back: 6120 - 2000
    EXPECT_EQ(budget.estimateKB(), 4120);
    EXPECT_FALSE(budget.memoryEnding()); // 2521 used: 4120 + 10084
    EXPECT_EQ(budget.estimateKB(), 14204);
    EXPECT_EQ(injected.samplesTaken, 6u);

    // After a first generation at 5120 KB, 17024 KB free meets the estimate
    // 5120 + 4 x 2976 exactly; 1 KB more exceeds it.
    for (const uint32_t free : {17024u, 17025u}) {
        InjectedBudget exact{{0}, {20000, 20000, 20000, free}};
        RunBudget edge(100, exact.sources());
        edge.sampleBeforeGrowth();
        EXPECT_FALSE(edge.memoryEnding());
        EXPECT_EQ(edge.memoryEnding(), free == 17024u) << free;
    }
}

TEST(RunBudgetTest, MemorySampleIsKilobytesOfA32BitCount) {
    const uint32_t bytes[] = {0xFFFFFFFFu, 1023, 1024, 0x80000000u};
    std::size_t next = 0;
    const MemoryGuard guard([&] { return bytes[next++]; });
    EXPECT_EQ(guard.availableKB, 4194303);
    EXPECT_EQ(guard.sample(), 0);
    EXPECT_EQ(guard.sample(), 1);
    EXPECT_EQ(guard.sample(), 2097152);
}

} // namespace
} // namespace bramblewisp
