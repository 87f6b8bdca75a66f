#include "app/runBudget.h"

#include <gtest/gtest.h>

#include "app/injectedBudget.h"

namespace bramblewisp {
namespace {

using namespace injected;

TEST(RunTimerTest, LapsLeaveTheDeadlineToTheirCallers) {
    RunTimer timer = timerWith(30.0, {250000, 251500, 251500});
    EXPECT_EQ(timer.last, 250.0);
    EXPECT_EQ(timer.deadline, 280.0);
    EXPECT_EQ(timer.lap(), 1.5);
    EXPECT_EQ(timer.last, 251.5);
    EXPECT_EQ(timer.lap(), 0.0);
    EXPECT_EQ(timer.deadline, 280.0);
}

TEST(MemoryGuardTest, SampleIsKilobytesOfA32BitCount) {
    samples = {0xFFFFFFFFu, 1023, 1024, 0x80000000u};
    sampleIndex = 0;
    MemoryGuard guard(sampleNow);
    EXPECT_EQ(guard.availableKB, 4194303);
    EXPECT_EQ(guard.estimateKB, 1024);
    EXPECT_EQ(guard.sample(), 0);
    EXPECT_EQ(guard.sample(), 1);
    EXPECT_EQ(guard.sample(), 2097152);
}

// The estimate grows by factor times what was consumed since the previous
// sample, and shrinks when a sample finds memory given back; the free memory
// must stay above it.
TEST(MemoryGuardTest, ChargeScalesTheConsumption) {
    MemoryGuard guard = guardWith({100000, 99000, 98000, 98500});
    guard.estimateKB += 4096;
    guard.charge(1);
    EXPECT_EQ(guard.availableKB, 99000);
    EXPECT_EQ(guard.estimateKB, 5120 + 1000);
    guard.charge(4);
    EXPECT_EQ(guard.estimateKB, 6120 + 4000);
    guard.charge(4);
    EXPECT_EQ(guard.availableKB, 98500);
    EXPECT_EQ(guard.estimateKB, 10120 - 2000);
    for (int32_t estimate : {98499, 98500, 98501}) {
        guard.estimateKB = estimate;
        EXPECT_EQ(guard.isEnding(), estimate >= 98500) << estimate;
    }
}

} // namespace
} // namespace bramblewisp
