#include <gtest/gtest.h>

#include "app/evolution.h"
#include "presets/preset.h"
#include "random/scriptedRanmar.h"
#include "system/listContents.h"

namespace bramblewisp {
namespace {

Progress quiet;

TEST(PresetType4Test, ColumnOfSixFansOutToThirtySixParticles) {
    ParticleSystem system;
    system.random.init(9, 0);
    const Ranmar before = system.random;
    createPreset(4, 500).build(system); // spikes do not reach type 4
    EXPECT_EQ(drawsBetween(before, system.random, 10), 0);
    const auto column = contentsOf(system.store->currentBank()[0]);
    ASSERT_EQ(column.size(), 6u);
    for (std::size_t i = 1; i < column.size(); ++i) {
        // Each seed starts where the one below it ends, half as long.
        EXPECT_FLOAT_EQ(column[i].position.y, column[i - 1].position.y + column[i - 1].direction.y);
        EXPECT_FLOAT_EQ(column[i].direction.y * 2, column[i - 1].direction.y);
    }

    const Ranmar rulesBefore = system.ruleRandom;
    growGeneration(system, quiet);
    EXPECT_EQ(drawsBetween(before, system.random, 10), 6);
    EXPECT_EQ(drawsBetween(rulesBefore, system.ruleRandom, 10), 0); // the fan-out turns are fixed
    const ParticleList* bank = system.store->currentBank();
    EXPECT_EQ(system.store->currentCount(), 36);
    EXPECT_EQ(bank[1].count, 30);
    EXPECT_TRUE(sameParticles(contentsOf(bank[3]), column));
}

} // namespace
} // namespace bramblewisp
