#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "app/evolution.h"
#include "presets/preset.h"
#include "random/scriptedRanmar.h"

namespace bramblewisp {
namespace {

Progress quiet;

TEST(PresetType3Test, SixSeedsWhateverTheSpikes) {
    for (int32_t spikes : {0, -1, 64, INT_MAX}) {
        ParticleSystem system;
        const Ranmar before = system.random;
        createPreset(3, spikes).build(system);
        EXPECT_EQ(drawsBetween(before, system.random, 10), 0);
        ASSERT_EQ(system.store->currentCount(), 6) << spikes;
        int i = 0;
        for (const Particle& seed : system.store->currentBank()[0]) {
            // Unit length at 0, 60, ..., 300 degrees.
            EXPECT_NEAR(seed.direction.x, std::cos(i * M_PI / 3), 1e-6);
            EXPECT_NEAR(seed.direction.y, std::sin(i++ * M_PI / 3), 1e-6);
            EXPECT_EQ(seed.direction.z, 0.0f);
        }
    }
}

// The only chance in growth is the group choice: one draw per particle from
// the system's generator, none from the rules' generator, and the figure
// stays in the plane z = 0.
TEST(PresetType3Test, GrowsFlatWithGroupChoicesAsItsOnlyDraws) {
    ParticleSystem system;
    system.random.init(3, 0);
    createPreset(3, 64).build(system);
    const Ranmar rulesBefore = system.ruleRandom;
    for (int generation = 0; generation < 4; ++generation) {
        const Ranmar before = system.random;
        const int32_t walked = system.store->currentCount();
        growGeneration(system, quiet);
        EXPECT_EQ(drawsBetween(before, system.random, walked), walked);
    }
    EXPECT_EQ(drawsBetween(rulesBefore, system.ruleRandom, 10), 0);
    const ParticleList* bank = system.store->currentBank();
    EXPECT_GT(bank[3].count, 0);
    for (int layer = 0; layer < kLayerCount; ++layer) {
        for (const Particle& p : bank[layer]) {
            ASSERT_TRUE(p.position.z == 0 && p.direction.z == 0) << layer;
        }
    }
}

} // namespace
} // namespace bramblewisp
