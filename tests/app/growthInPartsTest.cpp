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

// Generations grown from a system's seeds by the plain walk, or shared by
// workers when given them.
Grown grow(const SystemDescription& description, int generations, platform::WorkerPool* workers) {
    ParticleSystem system;
    system.random.init(5, 0);
    description.build(system);
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

// A group of more jittered rules than are drawn ahead, fixed ones among
// them, and a small jittered one: their children are made both ways.
SystemDescription wideGroups() {
    SystemDescription wide;
    wide.randomSpikes = true;
    wide.spikes = 8;
    GroupDescription many;
    for (int k = 0; k < static_cast<int>(RuleGroup::kMostRulesAhead) + 5; ++k) {
        many.rules.push_back(
            {k % 2, 0.1f * static_cast<float>(k % 5), 0.4f, 0.0f, k % 7 != 0, 0.5f, 0.8f});
    }
    wide.layers[0].push_back(many);
    wide.layers[1].push_back({1.0f, {{0, 0.3f, 0.2f, 0.1f, true, 0.7f, 1.0f}}});
    return wide;
}

// Whatever the number of workers, the parts grow the plain walk's
// generations to the bit, tick as often and leave both generators where it
// leaves them: lists of one window and of several, parts that skip the rule
// generator far ahead, children that cross chunk boundaries, parents too
// short to have any, groups too wide to draw ahead, and (type 1's ninth
// generation) the next bank overflowing in the middle of a list, its rest and
// the later lists carried over: found by a window decided on its own and by
// one decided ahead, while the window before made its children.
TEST(GrowthInPartsTest, GrowsThePlainWalksGenerations) {
    const struct {
        const char* name;
        SystemDescription system;
        int generations;
    } cases[] = {{"type 0", createPreset(0, 8), 8},  {"type 1", createPreset(1, 16), 9},
                 {"type 2", createPreset(2, 16), 6}, {"type 3", createPreset(3, 0), 7},
                 {"type 4", createPreset(4, 0), 6},  {"wide groups", wideGroups(), 4}};
    platform::WorkerPool pools[] = {platform::WorkerPool(2), platform::WorkerPool(7)};
    for (const auto& c : cases) {
        const Grown plain = grow(c.system, c.generations, nullptr);
        for (platform::WorkerPool& workers : pools) {
            const Grown shared = grow(c.system, c.generations, &workers);
            for (int layer = 0; layer < kLayerCount; ++layer) {
                EXPECT_TRUE(sameParticles(shared.lists[layer], plain.lists[layer]))
                    << c.name << ", " << workers.workers() << " workers, layer " << layer;
            }
            EXPECT_EQ(nextDraws(shared.random), nextDraws(plain.random));
            EXPECT_EQ(nextDraws(shared.ruleRandom), nextDraws(plain.ruleRandom));
            EXPECT_EQ(shared.ticks, plain.ticks);
        }
    }
}

} // namespace
} // namespace bramblewisp
