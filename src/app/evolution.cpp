#include "app/evolution.h"

#include <vector>

#include "app/console.h"

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
bool ramIsEnding(MemoryGuard& memory) {
    memory.charge(4);
    if (memory.isEnding()) {
        console::stopNote(console::Stop::memoryEnding);
        return true;
    }
    return false;
}

bool detailReached(const ParticleSystem& system) {
    if (system.store->currentCount() > kDetailLimit) {
        console::stopNote(console::Stop::detailReached);
        return true;
    }
    return false;
}

} // namespace

void growGeneration(ParticleSystem& system, Progress& progress) {
    ParticleStore& store = *system.store;
    ParticleList* current = store.currentBank();
    ParticleList* next = store.nextBank();
    Ranmar& random = *store.random;

    for (int layer = 0; layer < kLayerCount; ++layer) {
        const std::vector<GroupChoice> choices = choicesOf(system.layers[layer]);
        ParticleList& list = current[layer];
        ParticleList& sameLayer = next[layer];
        int32_t check = 0;
        bool overflowing = false;
        // Chunk by chunk, in append order; a walked chunk is released at once,
        // so the two generations never have to fit in memory side by side.
        for (auto& chunk : list.chunks) {
            for (uint32_t k = 0; k < chunk->used; ++k) {
                const Particle& p = chunk->slots[k];
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
                        choice.group->apply(p, next);
                        break;
                    }
                }
            }
            chunk.reset();
        }
        list.clear();
    }
    store.swapBanks();
}

void evolveFixed(ParticleSystem& system, int32_t& iterations, int32_t maxIterations,
                 MemoryGuard& memory) {
    memory.availableKB = memory.sample();
    if (maxIterations < iterations) {
        iterations = maxIterations;
    }
    for (int32_t i = 0; i < iterations; ++i) {
        if (ramIsEnding(memory) || detailReached(system)) {
            return;
        }
        console::generationStarts();
        growGeneration(system, console::progress());
        console::generationDone(i + 1, true);
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
        console::generationStarts();
        growGeneration(system, console::progress());
        console::generationDone(generation, false);
    }
}

} // namespace bramblewisp
