#pragma once

#include <array>
#include <memory>

#include "random/ranmar.h"
#include "system/particleStore.h"
#include "system/rule.h"

namespace bramblewisp {

// The growing structure of a run: its generator, its store and its rule
// layers. A run uses the one from instance(); tests may build their own.
class ParticleSystem {
  public:
    // On large blocks or on the heap: see ParticleStore.
    explicit ParticleSystem(bool onLargeBlocks = false);
    ParticleSystem(const ParticleSystem&) = delete;
    ParticleSystem& operator=(const ParticleSystem&) = delete;

    // The process-wide system, created on the first call, which also
    // decides where its particles are stored.
    static ParticleSystem* instance(bool onLargeBlocks);

    // Gives every jittered rule of the layers the tables of its amplitudes,
    // owned here. Call once the rules are built: it changes no result, only
    // the speed of growth.
    void tableJitteredTurns();

    std::unique_ptr<ParticleStore> store;
    std::array<RuleLayer, kLayerCount> layers;
    Ranmar random;

  private:
    std::unique_ptr<TurnTables> turnTables;
};

} // namespace bramblewisp
