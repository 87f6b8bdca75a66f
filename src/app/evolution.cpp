#include "app/evolution.h"

#include <algorithm>
#include <span>
#include <vector>

namespace bramblewisp {

namespace {

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

bool detailReached(const ParticleSystem& system, Progress& progress, const DetailLimits& limits) {
    if (system.store->currentCount() > limits.detail) {
        progress.stopped(Progress::Stop::detailReached);
        return true;
    }
    return false;
}

// One worker has nothing to share: the plain walk spares it the bookkeeping
// of the parts.
void grow(ParticleSystem& system, Progress& progress, platform::WorkerPool& workers,
          const DetailLimits& limits) {
    if (workers.workers() > 1) {
        growGenerationInParts(system, progress, workers, limits);
    } else {
        growGeneration(system, progress, limits);
    }
}

} // namespace

DetailLimits DetailLimits::scaledBy(double factor) {
    // A quarter of the 32-bit range: the next bank may pass the overflow
    // limit by the children of 1023 particles between two checks.
    constexpr double kCeiling = 536870912.0;
    auto scaled = [&](int32_t limit) {
        return static_cast<int32_t>(std::min(kCeiling, limit * std::max(1.0, factor)));
    };
    return {scaled(kDetailLimit), scaled(kOverflowLimit)};
}

void growGeneration(ParticleSystem& system, Progress& progress, const DetailLimits& limits) {
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
                    overflowing = store.nextCount() >= limits.overflow;
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
                    RunBudget& budget, Progress& progress, platform::WorkerPool& workers,
                    const DetailLimits& limits) {
    budget.sampleBeforeGrowth();
    if (maxIterations < iterations) {
        iterations = maxIterations;
    }
    for (int32_t i = 0; i < iterations; ++i) {
        if (ramIsEnding(budget, progress) || detailReached(system, progress, limits)) {
            return i;
        }
        progress.generationStarts();
        grow(system, progress, workers, limits);
        progress.generationDone(i + 1, true);
    }
    return std::max(iterations, int32_t{0});
}

int32_t evolveTimed(ParticleSystem& system, RunBudget& budget, Progress& progress,
                    platform::WorkerPool& workers, const DetailLimits& limits) {
    for (int32_t generation = 1;; ++generation) {
        if (budget.deadlinePassed() || ramIsEnding(budget, progress)) {
            return generation - 1;
        }
        if (!budget.reserveNextGeneration() || detailReached(system, progress, limits)) {
            return generation - 1;
        }
        progress.generationStarts();
        grow(system, progress, workers, limits);
        progress.generationDone(generation, false);
    }
}

} // namespace bramblewisp
