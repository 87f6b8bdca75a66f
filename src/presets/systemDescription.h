#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "random/ranmar.h"
#include "system/particle.h"
#include "system/particleSystem.h"

namespace bramblewisp {

// A whole system as plain data: what a rules file holds, and what each of
// the five types is (their rules files are built in).

// One rule of a group: emits one child into layer target of the next
// generation, step times the parent's direction ahead, with the parent's
// direction times scale turned by the three angles (amplitudes of random
// turns when jitter is set).
struct RuleDescription {
    int32_t target = 0;
    float angleX = 0.0f;
    float angleY = 0.0f;
    float angleZ = 0.0f;
    bool jitter = false;
    float scale = 1.0f;
    float step = 0.0f;

    bool operator==(const RuleDescription&) const = default;
};

struct GroupDescription {
    float weight = 1.0f;
    std::vector<RuleDescription> rules;

    bool operator==(const GroupDescription&) const = default;
};

struct SystemDescription {
    // The listed seeds first, then, when randomSpikes is set, spikes seeds of
    // unit length from the origin drawn from the system's generator.
    std::vector<Particle> seeds;
    bool randomSpikes = false;
    int32_t spikes = 0;

    // Each layer's groups, in the order of the choice.
    std::array<std::vector<GroupDescription>, kLayerCount> layers;

    // The most generations a fixed iteration count may grow.
    int32_t maxIterations = 12;

    // Off, every seed's turns come from the same sequence (the rule
    // generator starts from (0, 0)), so a system whose shape lies in its
    // turns hardly changes with the seed. On, the rule generator starts from
    // the seed too.
    bool turnsFollowSeed = false;

    // Fills the system's rule layers, then adds the seeds to bank 0 (drawing
    // the spikes from its generator, which the caller has started).
    void build(ParticleSystem& system) const;

    // The rule generator in its starting state for a picture of this seed.
    Ranmar ruleGenerator(int32_t seed) const;

    bool operator==(const SystemDescription&) const = default;
};

// The second number of the rule generator's start when turns follow the
// seed: the choice generator starts from (seed, 0), and the same pair would
// make the turns replay the group choices' draws.
inline constexpr int32_t kRuleSeedSecond = 1;

// Seeds of unit length from the origin, spread evenly over the sphere; two
// draws of the system's generator per seed.
void seedRandomSpikes(ParticleSystem& system, int32_t spikes);

// More seeds than this would only exhaust memory before growth starts.
inline constexpr int32_t kMaxSpikes = 1000000;

} // namespace bramblewisp
