#include <gtest/gtest.h>

#include <memory>

#include "app/evolution.h"
#include "presets/preset.h"
#include "random/scriptedRanmar.h"
#include "system/listContents.h"

namespace bramblewisp {
namespace {

Progress quiet;

std::unique_ptr<ParticleSystem> seeded(int32_t type) {
    auto system = std::make_unique<ParticleSystem>();
    system->random.init(5, 0);
    createPreset(type, 12).build(*system);
    return system;
}

TEST(PresetType12Test, SameSeedsButDifferentGrowth) {
    const auto one = seeded(1);
    const auto two = seeded(2);
    ASSERT_EQ(one->store->currentCount(), 12);
    EXPECT_TRUE(sameParticles(contentsOf(one->store->currentBank()[0]),
                              contentsOf(two->store->currentBank()[0])));
    for (ParticleSystem* system : {one.get(), two.get()}) {
        growGeneration(*system, quiet);
        growGeneration(*system, quiet);
    }
    // The same draws pick the same groups of the same shape, so only the
    // turns tell the two apart.
    bool anyDiffers = false;
    for (int layer = 0; layer < kLayerCount; ++layer) {
        const auto a = contentsOf(one->store->currentBank()[layer]);
        const auto b = contentsOf(two->store->currentBank()[layer]);
        ASSERT_EQ(a.size(), b.size()) << layer;
        anyDiffers = anyDiffers || !sameParticles(a, b);
    }
    EXPECT_TRUE(anyDiffers);
}

// Each fixed turn of type 2 draws nothing and turns every child alike.
TEST(PresetType12Test, FixedTurnsOfTypeTwoDrawNothing) {
    ParticleSystem system;
    createPreset(2, 0).build(system);
    const Ranmar before = system.ruleRandom;
    int fixedTurns = 0;
    for (const RuleLayer& layer : system.layers) {
        for (const auto& group : layer) {
            for (const Rule& rule : group->rules) {
                if (!rule.jitter && (rule.angleX != 0 || rule.angleY != 0 || rule.angleZ != 0)) {
                    ParticleList next[kLayerCount];
                    rule.apply({{0, 0, 0}, {0.6f, 0, 0.8f}}, next, system.ruleRandom);
                    rule.apply({{0, 0, 0}, {0.6f, 0, 0.8f}}, next, system.ruleRandom);
                    const auto children = contentsOf(next[rule.targetLayer]);
                    EXPECT_TRUE(sameParticles({children.at(0)}, {children.at(1)}));
                    ++fixedTurns;
                }
            }
        }
    }
    EXPECT_GT(fixedTurns, 0);
    EXPECT_EQ(drawsBetween(before, system.ruleRandom, 10), 0);
}

} // namespace
} // namespace bramblewisp
