#include "presets/presetTypes.h"

namespace bramblewisp {

void PresetType4::buildRules(ParticleSystem& system) const {
    constexpr float pi6 = piFraction(1, 6);
    constexpr float pi5 = piFraction(1, 5);
    constexpr float twoPi3 = piFraction(2, 3);
    // 0.1 + k * 2 pi / 5 for k = 1 to 5: five branches a fifth of a turn apart.
    constexpr float fan1 = 1.3566371f;
    constexpr float fan2 = 2.613274f;
    constexpr float fan3 = 3.8699112f;
    constexpr float fan4 = 5.1265483f;
    constexpr float fan5 = 6.3831854f;

    // clang-format off
    // Only the seeds live here: each fans out into five layer 1 branches.
    addGroup(system, 0, 1.0f, {
        //   layer  angleX  angleY  angleZ  direction  step  jitter
        Rule(3,     0,      0,      0,      1.0f,      0.0f, false),
        Rule(1,     twoPi3, fan1,   0,      1.0f,      1.0f, false),
        Rule(1,     twoPi3, fan2,   0,      1.0f,      1.0f, false),
        Rule(1,     twoPi3, fan3,   0,      1.0f,      1.0f, false),
        Rule(1,     twoPi3, fan4,   0,      1.0f,      1.0f, false),
        Rule(1,     twoPi3, fan5,   0,      1.0f,      1.0f, false),
    });
    addGroup(system, 1, 0.7f, {
        Rule(3,     0,      0,      0,      1.0f,      0.0f, false),
        Rule(1,     pi5,    pi5,    pi5,    0.4f,      0.2f, true),
        Rule(1,     pi5,    pi5,    pi5,    0.4f,      0.2f, true),
        Rule(1,     pi6,    pi6,    pi6,    0.6f,      0.4f, true),
        Rule(1,     pi6,    pi6,    pi6,    0.6f,      0.4f, true),
        Rule(1,     pi5,    pi5,    pi5,    0.4f,      0.7f, true),
        Rule(1,     pi5,    pi5,    pi5,    0.4f,      0.7f, true),
    });
    addGroup(system, 1, 0.3f, {
        Rule(3,     0,      0,      0,      1.0f,      0.0f, false),
        Rule(1,     pi5,    pi5,    pi5,    0.5f,      0.1f, true),
        Rule(1,     pi5,    pi5,    pi5,    0.4f,      0.2f, true),
        Rule(1,     pi6,    pi6,    pi6,    0.6f,      0.4f, true),
        Rule(1,     pi6,    pi6,    pi6,    0.6f,      0.3f, true),
        Rule(1,     pi5,    pi5,    pi5,    0.4f,      0.7f, true),
        Rule(1,     pi5,    pi5,    pi5,    0.4f,      0.7f, true),
    });
    // Finished copies stay as they are.
    addGroup(system, 3, 1.0f, {
        Rule(3,     0,      0,      0,      1.0f,      0.0f, false),
    });
    // clang-format on
}

void PresetType4::seedParticles(ParticleSystem& system) const {
    // A column on the y axis; each seed starts where the one below ends.
    addSeed(system, Vec3{0, 0.0f, 0}, Vec3{0, 0.64f, 0});
    addSeed(system, Vec3{0, 0.64f, 0}, Vec3{0, 0.32f, 0});
    addSeed(system, Vec3{0, 0.96f, 0}, Vec3{0, 0.16f, 0});
    addSeed(system, Vec3{0, 1.12f, 0}, Vec3{0, 0.08f, 0});
    addSeed(system, Vec3{0, 1.2f, 0}, Vec3{0, 0.04f, 0});
    addSeed(system, Vec3{0, 1.24f, 0}, Vec3{0, 0.02f, 0});
}

} // namespace bramblewisp
