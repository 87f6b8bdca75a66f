#include "app/evolution.h"

#include <cstdio>

#include "app/spinner.h"

namespace bramblewisp {

namespace {

// Checks of the next bank's size (and spinner turns) happen once per this
// many particles of a list.
constexpr int32_t kCheckPeriodMask = 1023;

void carryOver(ParticleList::Iterator from, const ParticleList& list, ParticleList& into) {
    for (; from != list.end(); ++from) {
        into.append(*from);
    }
}

// The memory test at the start of every generation.
bool ramIsEnding(MemoryGuard& memory) {
    memory.charge(4);
    if (memory.isEnding()) {
        std::fputs(" (looks like RAM is ending)", stdout);
        return true;
    }
    return false;
}

bool detailReached(const ParticleSystem& system) {
    if (system.store->currentCount() > kDetailLimit) {
        std::fputs(" (detail level reached sub-pixel - there's no point to continue)", stdout);
        return true;
    }
    return false;
}

} // namespace

void growGeneration(ParticleSystem& system) {
    ParticleStore& store = *system.store;
    ParticleList* current = store.currentBank();
    ParticleList* next = store.nextBank();
    Ranmar& random = *store.random;

    for (int layer = 0; layer < kLayerCount; ++layer) {
        const RuleLayer& groups = system.layers[layer];
        ParticleList& list = current[layer];
        int32_t check = 0;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (check == 0) {
                if (store.nextCount() >= kOverflowLimit) {
                    carryOver(it, list, next[layer]);
                    break;
                }
                spinnerTick();
            }
            check = (check + 1) & kCheckPeriodMask;

            const float u = static_cast<float>(random.next() & 0xFFFF) * (1.0f / 65536.0f);
            double total = 0.0;
            for (const auto& group : groups) {
                total += group->weight;
                if (total >= u) {
                    group->apply(*it, next);
                    break;
                }
            }
        }
        list.clear();
    }
    store.swapBanks();
}

void evolveFixed(ParticleSystem& system, int32_t& iterations, const Preset& preset,
                 MemoryGuard& memory) {
    memory.availableKB = memory.sample();
    if (preset.maxIterations() < iterations) {
        iterations = preset.maxIterations();
    }
    for (int32_t i = 0; i < iterations; ++i) {
        if (ramIsEnding(memory) || detailReached(system)) {
            return;
        }
        std::fputs(" ", stdout);
        std::fflush(stdout);
        growGeneration(system);
        std::fputs("\b ", stdout);
        std::fflush(stdout);
        std::printf("%i ", i + 1);
        std::fflush(stdout);
    }
}

void evolveTimed(ParticleSystem& system, RunTimer& timer, MemoryGuard& memory) {
    for (int32_t generation = 1;; ++generation) {
        // Not-less-than also stops on a deadline that is not a number.
        if (!(timer.last < timer.deadline) || ramIsEnding(memory)) {
            return;
        }
        // Sixteen times the last generation's time is reserved for the next.
        timer.deadline -= 16.0 * timer.lap();
        if (!(timer.last < timer.deadline) || detailReached(system)) {
            return;
        }
        std::fputs(" ", stdout);
        std::fflush(stdout);
        growGeneration(system);
        std::fputs("\b ", stdout);
        std::fflush(stdout);
        std::printf("%i", generation);
        std::fflush(stdout);
    }
}

} // namespace bramblewisp
