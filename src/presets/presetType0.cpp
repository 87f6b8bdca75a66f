#include "presets/presetTypes.h"

namespace bramblewisp {

void PresetType0::buildRules(ParticleSystem& system) const {
    constexpr float pi16 = piFraction(1, 16);
    constexpr float pi4 = piFraction(1, 4);

    // clang-format off
    // Growing tips: leave a shortened copy in layer 1, put three tips ahead.
    addGroup(system, 0, 1.0f, {
        //   layer  angleX  angleY  angleZ  direction  step  jitter
        Rule(1,     0,      0,      0,      0.3f,      0.0f, false),
        Rule(0,     pi16,   pi16,   pi16,   0.7f,      0.3f, true),
        Rule(0,     pi4,    pi4,    pi4,    0.6f,      0.2f, true),
        Rule(0,     pi4,    pi4,    pi4,    0.5f,      0.3f, true),
    });
    // Resting copies: stay, and start a new tip ahead each generation.
    addGroup(system, 1, 1.0f, {
        Rule(1,     0,      0,      0,      1.0f,      0.0f, false),
        Rule(0,     pi4,    pi4,    pi4,    0.5f,      0.4f, true),
    });
    // clang-format on
}

void PresetType0::seedParticles(ParticleSystem& system) const {
    seedRandomSpikes(system, spikes);
}

} // namespace bramblewisp
