#include <gtest/gtest.h>

#include <vector>

#include "app/evolution.h"
#include "presets/preset.h"
#include "system/listContents.h"

namespace bramblewisp {
namespace {

struct TickCount : Progress {
    void tick() override { ++ticks; }
    int ticks = 0;
};

struct Grown {
    std::vector<Particle> lists[kLayerCount];
    Ranmar random;
    Ranmar ruleRandom;
    int ticks = 0;
};

// A skip leaves the generator's ring laid out afresh: its draws tell.
std::vector<int32_t> nextDraws(Ranmar random) {
    std::vector<int32_t> draws(100);
    for (int32_t& draw : draws) {
        draw = random.next();
    }
    return draws;
}

// Generations grown from a preset's seeds by the plain walk, or shared by
// workers when given them.
Grown grow(int type, int spikes, int generations, platform::WorkerPool* workers) {
    ParticleSystem system;
    system.random.init(5, 0);
    createPreset(type, spikes).build(system);
    system.tableJitteredTurns();
    TickCount progress;
    for (int g = 0; g < generations; ++g) {
        if (workers != nullptr) {
            growGenerationInParts(system, progress, *workers);
        } else {
            growGeneration(system, progress);
        }
    }
    Grown grown;
    for (int layer = 0; layer < kLayerCount; ++layer) {
        grown.lists[layer] = contentsOf(system.store->currentBank()[layer]);
    }
    grown.random = system.random;
    grown.ruleRandom = system.ruleRandom;
    grown.ticks = progress.ticks;
    return grown;
}

// Whatever the number of workers, the parts grow the plain walk's
// generations to the bit, tick as often and leave both generators where it
// leaves them: lists of one window and of several, parts that skip the rule
// generator far ahead, children that cross chunk boundaries, parents too
// short to have any, and (type 1's ninth generation) the next bank
// overflowing in the middle of a list, its rest and the later lists carried
// over.
TEST(GrowthInPartsTest, GrowsThePlainWalksGenerations) {
    const struct {
        int type, spikes, generations;
    } cases[] = {{0, 8, 8}, {1, 16, 9}, {2, 16, 6}, {3, 0, 7}, {4, 0, 6}};
    platform::WorkerPool pools[] = {platform::WorkerPool(2), platform::WorkerPool(7)};
    for (const auto& c : cases) {
        const Grown plain = grow(c.type, c.spikes, c.generations, nullptr);
        for (platform::WorkerPool& workers : pools) {
            const Grown shared = grow(c.type, c.spikes, c.generations, &workers);
            for (int layer = 0; layer < kLayerCount; ++layer) {
                EXPECT_TRUE(sameParticles(shared.lists[layer], plain.lists[layer]))
                    << "type " << c.type << ", " << workers.workers() << " workers, layer "
                    << layer;
            }
            EXPECT_EQ(nextDraws(shared.random), nextDraws(plain.random));
            EXPECT_EQ(nextDraws(shared.ruleRandom), nextDraws(plain.ruleRandom));
            EXPECT_EQ(shared.ticks, plain.ticks);
        }
    }
}

} // namespace
} // namespace bramblewisp
