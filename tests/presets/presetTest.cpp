#include "presets/preset.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "random/scriptedRanmar.h"

namespace bramblewisp {
namespace {

TEST(PresetTest, CreatePresetFallsBackToTypeZero) {
    const int32_t cases[][2] = {{0, 0}, {1, 1}, {2, 2},  {3, 3},
                                {4, 4}, {5, 0}, {-1, 0}, {INT_MIN, 0}};
    for (const auto& [type, expected] : cases) {
        EXPECT_EQ(builtInSystemText(type).data(), builtInSystemText(expected).data()) << type;
    }
    // The spikes option counts the random spikes of types 0 to 2 only.
    const int32_t spikes[] = {1000, 1000, 1000, 0, 0};
    for (int32_t type = 0; type <= 4; ++type) {
        const SystemDescription system = createPreset(type, 1000);
        EXPECT_EQ(system.randomSpikes ? system.spikes : 0, spikes[type]) << type;
    }
}

// The group choice takes the first group whose running total of weights
// reaches a draw below 1: a layer whose weights fell short would let some
// particles die, one far above 1 would never choose its last groups.
TEST(PresetTest, EveryLayersWeightsAddUpToOneOrSlightlyMore) {
    for (int32_t type = 0; type <= 4; ++type) {
        ParticleSystem system;
        createPreset(type, 64).build(system);
        EXPECT_FALSE(system.layers[0].empty()) << "type " << type;
        for (int layer = 0; layer < kLayerCount; ++layer) {
            double total = 0.0; // as the choice adds them
            for (const auto& group : system.layers[static_cast<std::size_t>(layer)]) {
                total += group->weight;
            }
            if (!system.layers[static_cast<std::size_t>(layer)].empty()) {
                EXPECT_GE(total, 1.0) << "type " << type << ", layer " << layer;
                EXPECT_LT(total, 1.000001) << "type " << type << ", layer " << layer;
            }
        }
    }
}

Vec3 spikeFrom(int32_t first, int32_t second) {
    ParticleSystem system;
    system.random = scriptedRanmar({first, second});
    seedRandomSpikes(system, 1);
    const Particle& seed = *system.store->currentBank()[0].begin();
    EXPECT_EQ(system.store->currentCount(), 1);
    EXPECT_TRUE(seed.position.x == 0 && seed.position.y == 0 && seed.position.z == 0);
    return seed.direction;
}

// Only the low 16 bits of each draw count; high bits are set to catch a
// missing mask.
TEST(PresetTest, SpikeDirectionsFromKnownDraws) {
    const Vec3 down = spikeFrom(0xAB0000, 0x123);
    EXPECT_TRUE(down.x == 0 && down.y == 0 && down.z == -1);
    const Vec3 ahead = spikeFrom(0x018000, 0);
    EXPECT_TRUE(ahead.x == 1 && ahead.y == 0 && ahead.z == 0);
    // r times the cosine of the 32-bit phi, which is not quite pi/2.
    const Vec3 up = spikeFrom(49152, 0xFF4000);
    EXPECT_NE(up.x, 0.0f);
    EXPECT_NEAR(up.x, -3.8e-8f, 0.05e-8f);
    EXPECT_FLOAT_EQ(up.y, static_cast<float>(std::sqrt(3.0) / 2));
    EXPECT_EQ(up.z, 0.5f);
}

TEST(PresetTest, SpikesDrawTwiceEachUpToTheCap) {
    const int32_t cases[][2] = {{64, 64}, {0, 0}, {-5, 0}, {INT_MIN, 0}, {INT_MAX, kMaxSpikes}};
    for (const auto& [spikes, seeds] : cases) {
        ParticleSystem system;
        system.random.init(17, 0);
        const Ranmar before = system.random;
        seedRandomSpikes(system, spikes);
        EXPECT_EQ(system.store->currentCount(), seeds) << spikes;
        EXPECT_EQ(drawsBetween(before, system.random, 2 * kMaxSpikes), 2 * seeds) << spikes;
        for (const Particle& seed : system.store->currentBank()[0]) {
            const Vec3& d = seed.direction;
            ASSERT_NEAR(d.x * d.x + d.y * d.y + d.z * d.z, 1.0f, 1e-6f);
        }
    }
}

} // namespace
} // namespace bramblewisp
