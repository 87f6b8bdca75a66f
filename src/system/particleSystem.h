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
    ParticleSystem();
    ParticleSystem(const ParticleSystem&) = delete;
    ParticleSystem& operator=(const ParticleSystem&) = delete;

    // The process-wide system, created on the first call.
    static ParticleSystem* instance();

    std::unique_ptr<ParticleStore> store;
    std::array<RuleLayer, kLayerCount> layers;
    Ranmar random;
};

} // namespace bramblewisp
