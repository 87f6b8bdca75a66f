#pragma once

#include <array>
#include <memory>

#include "random/ranmar.h"
#include "system/particleStore.h"
#include "system/rule.h"

namespace bramblewisp {

namespace platform {
class WorkerPool;
} // namespace platform

// The growing structure of one picture: its store, its rule layers and the
// two generators its growth draws from. Both start from (0, 0) with the
// system, so every picture grows as the first one in a fresh process would.
class ParticleSystem {
  public:
    // On large blocks or on the heap: see ParticleStore.
    explicit ParticleSystem(bool onLargeBlocks = false);
    ParticleSystem(const ParticleSystem&) = delete;
    ParticleSystem& operator=(const ParticleSystem&) = delete;

    // Gives every jittered rule of the layers the tables of its amplitudes,
    // owned here. Call once the rules are built: it changes no result, only
    // the speed of growth.
    void tableJitteredTurns();
    // Works out every entry of those tables now, in runs side by side on the
    // pool's free threads. Workers that share tables filled as growth goes
    // pass the lines they write back and forth between their caches; filled
    // first, each line is written by one of them.
    void workOutJitteredTurns(platform::WorkerPool& workers);

    std::unique_ptr<ParticleStore> store;
    std::array<RuleLayer, kLayerCount> layers;
    // The group choices and the random spikes; the picture restarts it from
    // its seed before the system is built.
    Ranmar random;
    // The jittered rules' turns; the picture restarts it as its system asks
    // (from the seed only when the system's turns follow the seed).
    Ranmar ruleRandom;

  private:
    std::unique_ptr<TurnTables> turnTables;
};

} // namespace bramblewisp
