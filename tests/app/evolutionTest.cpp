#include "app/evolution.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/consoleTranscript.h"
#include "app/injectedBudget.h"
#include "presets/preset.h"
#include "random/scriptedRanmar.h"
#include "system/listContents.h"

namespace bramblewisp {
namespace {

Progress quiet;

const std::string kDetailNote = " (detail level reached sub-pixel - there's no point to continue)";
const std::string kMemoryNote = " (looks like RAM is ending)";

// What the fixed loop shows on a console whose spinner has already ticked
// spinTicks times.
std::string fixedRun(ParticleSystem& system, int32_t& iterations, int32_t type = 0,
                     InjectedBudget injected = {}, int spinTicks = 0) {
    RunBudget budget(-1, injected.sources());
    ConsoleTranscript transcript;
    for (int k = 0; k < spinTicks; ++k) {
        transcript.console.tick();
    }
    platform::WorkerPool workers(2);
    evolveFixed(system, iterations, createPreset(type, 0).maxIterations, budget, transcript.console,
                workers);
    return transcript.text();
}

Particle numbered(int n) {
    return Particle{{float(n), 0, 0}, {0, 1, 0}};
}
void fill(ParticleList& list, int count, int from = 0) {
    for (int n = from; n < from + count; ++n) {
        list.append(numbered(n));
    }
}

// Group g of the layer sends an unchanged copy of its particle to layer g + 1.
void addCopyGroups(ParticleSystem& system, int layer, std::vector<float> weights) {
    for (std::size_t g = 0; g < weights.size(); ++g) {
        auto group = std::make_unique<RuleGroup>(weights[g]);
        group->rules.emplace_back(int32_t(g + 1), 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, false);
        system.layers[layer].push_back(std::move(group));
    }
}

TEST(EvolutionTest, FixedRunWritesEachGeneration) {
    ParticleSystem system;
    system.random.init(7, 0);
    createPreset(0, 2).build(system);
    int32_t iterations = 3;
    // After 63 ticks the run's first check turns the spinner.
    EXPECT_EQ(fixedRun(system, iterations, 0, {}, 63), " \b/\b 1  \b 2  \b 3 ");
    EXPECT_GT(system.store->currentCount(), 2);
}

// Tables of the jittered turns change nothing: type 2 has seven amplitudes,
// some differing from axis to axis, and type 0 two. Neither does the store's
// choice of large blocks over the heap for its chunks (some thousand of
// them, freed and reused generation after generation).
TEST(EvolutionTest, TabledTurnsAndLargeBlocksGrowTheSameGenerations) {
    for (const int type : {0, 2}) {
        std::vector<Particle> grown[3][kLayerCount];
        for (const int variant : {0, 1, 2}) {
            const bool tabled = variant != 0, onLargeBlocks = variant == 2;
            ParticleSystem system(onLargeBlocks);
            ASSERT_EQ(system.store->onLargeBlocks(), onLargeBlocks);
            system.random.init(3, 0);
            createPreset(type, 8).build(system);
            if (tabled) {
                system.tableJitteredTurns();
            }
            for (int generation = 0; generation < 6; ++generation) {
                growGeneration(system, quiet);
            }
            for (int layer = 0; layer < kLayerCount; ++layer) {
                grown[variant][layer] = contentsOf(system.store->currentBank()[layer]);
            }
        }
        for (int layer = 0; layer < kLayerCount; ++layer) {
            for (const int variant : {1, 2}) {
                EXPECT_TRUE(sameParticles(grown[0][layer], grown[variant][layer]))
                    << "type " << type << ", layer " << layer << ", variant " << variant;
            }
        }
        EXPECT_GT(grown[1][0].size(), 10000u) << "type " << type;
    }
}

TEST(EvolutionTest, FixedRunIsCappedByThePreset) {
    const int32_t cases[][3] = {{0, 20, 12}, {0, 5, 5},  {1, 13, 12}, {2, 12, 12},
                                {3, 50, 12}, {4, 50, 8}, {4, 8, 8},   {0, 0, 0}};
    for (const auto& [type, requested, grown] : cases) {
        ParticleSystem system;
        std::string expected;
        for (int i = 1; i <= grown; ++i) {
            expected += " \b " + std::to_string(i) + " ";
        }
        int32_t iterations = requested;
        EXPECT_EQ(fixedRun(system, iterations, type), expected);
        EXPECT_EQ(iterations, grown) << type << " " << requested;
    }
}

// The first group whose running weight total reaches u = (draw & 0xFFFF) / 65536.
TEST(EvolutionTest, GroupChoiceFollowsTheRunningTotal) {
    const struct {
        std::vector<float> weights;
        int32_t draw;
        int layer; // of the one child; -1 for none
    } cases[] = {
        {{0.5f, 0.5f}, 32768, 1},       {{0.5f, 0.5f}, 32769, 2},
        {{0.5f, 0.5f}, 0xFF8000, 1},    {{0.0f, 1.0f}, 0, 1},
        {{0.0f, 1.0f}, 1, 2},           {{0.25f}, 0x4000, 1},
        {{0.25f}, 0x4001, -1},          {{}, 0, -1},
        {{0.7f, 0.3f, 0.5f}, 65535, 2}, {{0.25f, 0.5f, 0.25f}, 0xC001, 3},
    };
    platform::WorkerPool workers(2);
    for (const auto& c : cases) {
        // The plain walk, and the walk in parts (which counts the totals
        // below the draw where they rise).
        for (const bool inParts : {false, true}) {
            ParticleSystem system;
            addCopyGroups(system, 0, c.weights);
            system.store->currentBank()[0].append(numbered(0));
            system.random = scriptedRanmar({c.draw});
            inParts ? growGenerationInParts(system, quiet, workers) : growGeneration(system, quiet);
            for (int layer = 0; layer < kLayerCount; ++layer) {
                EXPECT_EQ(system.store->currentBank()[layer].count, layer == c.layer ? 1 : 0)
                    << "draw " << c.draw << ", layer " << layer << (inParts ? ", in parts" : "");
            }
        }
    }
}

// Once a check finds 1,000,000 particles in the next bank, the particle at
// hand, the rest of its list and every later list pass over unchanged; the
// check comes at the first particle of a list and every 1024th after it.
TEST(EvolutionTest, OverflowCarriesTheRestOverThenDetailStops) {
    const struct {
        int layer, spawners, rules, walked;
    } cases[] = {{1, 2000, 977, 1024}, {0, 1000, 1000, 1000}};
    for (const auto& c : cases) {
        ParticleSystem system;
        auto spawn = std::make_unique<RuleGroup>(1.0f);
        spawn->rules = std::vector<Rule>(c.rules, Rule(0, 0.0f, 0.0f, 0.0f, 0.5f, 1.0f, false));
        system.layers[c.layer].push_back(std::move(spawn));
        addCopyGroups(system, 2, {1.0f}); // would move layer 2 on, were it walked
        ParticleList* current = system.store->currentBank();
        std::vector<Particle> before[kLayerCount];
        for (int layer = 0; layer < kLayerCount; ++layer) {
            fill(current[layer], layer == c.layer ? c.spawners : layer == 0 ? 0 : 5, 10000 * layer);
            before[layer] = contentsOf(current[layer]);
        }
        const Ranmar random = system.random;
        growGeneration(system, quiet);

        EXPECT_EQ(drawsBetween(random, system.random, 2000), c.walked);
        const ParticleList* grown = system.store->currentBank();
        EXPECT_EQ(grown[0].count, c.walked * c.rules);
        for (int layer = 1; layer < kLayerCount; ++layer) {
            const auto& was = before[layer];
            const int carriedFrom = layer == c.layer ? c.walked : 0;
            EXPECT_TRUE(
                sameParticles(contentsOf(grown[layer]), {was.begin() + carriedFrom, was.end()}))
                << "layer " << layer;
        }
        int32_t iterations = 1;
        EXPECT_EQ(fixedRun(system, iterations), kDetailNote);
    }
}

// 1,000,000 particles still grow (with a check and a spinner call per 1024
// of them, so the spinner turns 15 times); one more stops.
TEST(EvolutionTest, DetailLimitLetsExactlyAMillionGrow) {
    std::string turns;
    for (int turn = 1; turn <= 15; ++turn) {
        turns += std::string("\b") + "|/-\\|/-\\"[turn % 8];
    }
    const std::pair<int32_t, std::string> cases[] = {{1000000, " " + turns + "\b 1  \b 2 "},
                                                     {1000001, kDetailNote}};
    for (const auto& [count, console] : cases) {
        ParticleSystem system;
        fill(system.store->currentBank()[3], count);
        int32_t iterations = 2;
        EXPECT_EQ(fixedRun(system, iterations), console);
    }
}

// The deadline's arithmetic is the budget's (see its test); here the loop
// stops silently when the budget says so, lapping and sampling once per
// loop start after its first memory sample.
TEST(EvolutionTest, TimedRunReservesSixteenLapsAndStopsSilently) {
    const struct {
        int32_t limit;
        std::vector<int64_t> readings; // ms: construction, then one per lap
        std::string console;
        int32_t grown;
    } cases[] = {
        // Deadline 45 s; laps of 1, 1 and 4 s: 29, 13, then passed.
        {100, {0, 1000, 2000, 6000}, " \b 1 \b 2", 2},
        // 34 s - 16 x 2 s leaves the deadline at the lap's end.
        {78, {0, 2000}, "", 0},
        // Already at the deadline: no lap and no memory sample.
        {10, {0}, "", 0},
    };
    for (const auto& c : cases) {
        ParticleSystem system;
        InjectedBudget injected{c.readings};
        RunBudget budget(c.limit, injected.sources());
        ConsoleTranscript transcript;
        platform::WorkerPool workers(2);
        EXPECT_EQ(evolveTimed(system, budget, transcript.console, workers), c.grown) << c.limit;
        EXPECT_EQ(transcript.text(), c.console) << c.limit;
        EXPECT_EQ(injected.readingsTaken, c.readings.size()) << c.limit;
        EXPECT_EQ(injected.samplesTaken, c.readings.size()) << c.limit;
    }
}

// Free memory falls by 89,000 KB in a generation; four times that is more
// than what is left.
TEST(EvolutionTest, MemoryRunningOutStopsWithANote) {
    ParticleSystem system;
    int32_t iterations = 5;
    EXPECT_EQ(fixedRun(system, iterations, 0, {{0}, {100000, 100000, 99000, 10000}}),
              " \b 1 " + kMemoryNote);
    InjectedBudget injected{{0, 1000}, {100000, 99000, 10000}};
    RunBudget budget(1000, injected.sources());
    ConsoleTranscript transcript;
    platform::WorkerPool workers(2);
    EXPECT_EQ(evolveTimed(system, budget, transcript.console, workers), 1);
    EXPECT_EQ(transcript.text(), " \b 1" + kMemoryNote);
}

} // namespace
} // namespace bramblewisp
