#include <cmath>

#include "presets/presetTypes.h"
#include "system/sineCosine.h"

namespace bramblewisp {

void PresetType3::buildRules(ParticleSystem& system) const {
    constexpr float pi4 = piFraction(1, 4);
    constexpr float pi3 = piFraction(1, 3);
    constexpr float pi2 = piFraction(1, 2);
    constexpr float twoPi7 = piFraction(2, 7);

    // Every rule turns about z only, by a fixed angle, so the figure stays flat.
    auto turnZ = [](int32_t layer, float angleZ, float direction, float step) {
        return Rule(layer, 0.0f, 0.0f, angleZ, direction, step, false);
    };

    // clang-format off
    addGroup(system, 0, 0.3f, {
        //    layer  angleZ        direction  step
        turnZ(3,     0,            1.0f,      0.0f),
        turnZ(0,     pi4,          0.3f,      0.7f),
        turnZ(0,     -pi4,         0.3f,      0.7f),
        turnZ(0,     pi4,          0.6f,      0.3f),
        turnZ(0,     -pi4,         0.6f,      0.3f),
        turnZ(0,     pi4,          0.2f,      0.1f),
        turnZ(0,     -pi4,         0.2f,      0.1f),
    });
    addGroup(system, 0, 0.3f, {
        turnZ(3,     0,            1.0f,      0.0f),
        turnZ(0,     pi4,          0.35f,     0.7f),
        turnZ(0,     -0.68295497f, 0.35f,     0.7f),
        turnZ(0,     pi4,          0.8f,      0.3f),
        turnZ(0,     -0.8726647f,  0.7f,      0.3f),
        turnZ(0,     pi4,          0.3f,      0.1f),
        turnZ(0,     -pi4,         0.3f,      0.1f),
    });
    addGroup(system, 0, 0.3f, {
        turnZ(3,     0,            1.0f,      0.0f),
        turnZ(0,     pi4,          0.35f,     0.7f),
        turnZ(0,     -pi4,         0.35f,     0.7f),
        turnZ(0,     pi4,          0.75f,     0.3f),
        turnZ(0,     -pi4,         0.7f,      0.3f),
        turnZ(3,     pi4,          0.3f,      0.1f),
        turnZ(3,     -twoPi7,      0.3f,      0.1f),
    });
    addGroup(system, 0, 0.1f, {
        turnZ(3,     0,            1.0f,      0.0f),
        turnZ(3,     0.69813174f,  0.2f,      0.6f),
        turnZ(3,     -pi3,         0.3f,      0.6f),
        turnZ(0,     pi3,          0.7f,      0.3f),
        turnZ(3,     pi2,          0.25f,     0.1f),
        turnZ(3,     -pi2,         0.2f,      0.1f),
    });
    // Finished particles stay as they are.
    addGroup(system, 3, 1.0f, {
        turnZ(3,     0,            1.0f,      0.0f),
    });
    // clang-format on
}

void PresetType3::seedParticles(ParticleSystem& system) const {
    constexpr float pi3 = piFraction(1, 3);
    for (int i = 0; i < 6; ++i) {
        // The cosine takes the double product, the sine its float rounding.
        const double a = i * static_cast<double>(pi3);
        addSeed(
            system, Vec3{0.0f, 0.0f, 0.0f},
            Vec3{static_cast<float>(std::cos(a)), sineCosineOf(static_cast<float>(a)).sine, 0.0f});
    }
}

} // namespace bramblewisp
