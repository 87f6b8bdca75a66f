#include "app/evolution.h"

#include <algorithm>
#include <span>
#include <vector>

namespace bramblewisp {

namespace {

// Checks of the next bank's size (and progress ticks) happen once per this
// many particles of a list.
constexpr int32_t kCheckPeriodMask = 1023;

// A layer's groups with their running weight totals, summed once in double
// precision in the order the walk would sum them.
struct GroupChoice {
    double total;
    const RuleGroup* group;
};

std::vector<GroupChoice> choicesOf(const RuleLayer& groups) {
    std::vector<GroupChoice> choices;
    double total = 0.0;
    for (const auto& group : groups) {
        total += group->weight;
        choices.push_back(GroupChoice{total, group.get()});
    }
    return choices;
}

// The memory test at the start of every generation.
bool ramIsEnding(RunBudget& budget, Progress& progress) {
    if (budget.memoryEnding()) {
        progress.stopped(Progress::Stop::memoryEnding);
        return true;
    }
    return false;
}

bool detailReached(const ParticleSystem& system, Progress& progress) {
    if (system.store->currentCount() > kDetailLimit) {
        progress.stopped(Progress::Stop::detailReached);
        return true;
    }
    return false;
}

} // namespace

void growGeneration(ParticleSystem& system, Progress& progress) {
    ParticleStore& store = *system.store;
    ParticleList* current = store.currentBank();
    ParticleList* next = store.nextBank();
    Ranmar& random = system.random;
    Ranmar& ruleRandom = system.ruleRandom;

    for (int layer = 0; layer < kLayerCount; ++layer) {
        const std::vector<GroupChoice> choices = choicesOf(system.layers[layer]);
        ParticleList& sameLayer = next[layer];
        int32_t check = 0;
        bool overflowing = false;
        // In append order; each walked chunk is given back at once, so the
        // two generations never have to fit in memory side by side.
        current[layer].drain([&](std::span<const Particle> chunk) {
            for (const Particle& p : chunk) {
                if (!overflowing && check == 0) {
                    overflowing = store.nextCount() >= kOverflowLimit;
                    if (!overflowing) {
                        progress.tick();
                    }
                }
                if (overflowing) {
                    // Carried over unchanged: the next bank is full enough.
                    sameLayer.append(p);
                    continue;
                }
                check = (check + 1) & kCheckPeriodMask;

                const float u = static_cast<float>(random.next() & 0xFFFF) * (1.0f / 65536.0f);
                for (const GroupChoice& choice : choices) {
                    if (choice.total >= u) {
                        choice.group->apply(p, next, ruleRandom);
                        break;
                    }
                }
            }
        });
    }
    store.swapBanks();
}

int32_t evolveFixed(ParticleSystem& system, int32_t& iterations, int32_t maxIterations,
                    RunBudget& budget, Progress& progress) {
    budget.sampleBeforeGrowth();
    if (maxIterations < iterations) {
        iterations = maxIterations;
    }
    for (int32_t i = 0; i < iterations; ++i) {
        if (ramIsEnding(budget, progress) || detailReached(system, progress)) {
            return i;
        }
        progress.generationStarts();
        growGeneration(system, progress);
        progress.generationDone(i + 1, true);
    }
    return std::max(iterations, int32_t{0});
}

int32_t evolveTimed(ParticleSystem& system, RunBudget& budget, Progress& progress) {
    for (int32_t generation = 1;; ++generation) {
        if (budget.deadlinePassed() || ramIsEnding(budget, progress)) {
            return generation - 1;
        }
        if (!budget.reserveNextGeneration() || detailReached(system, progress)) {
            return generation - 1;
        }
        progress.generationStarts();
        growGeneration(system, progress);
        progress.generationDone(generation, false);
    }
}

} // namespace bramblewisp
