#include "system/sineCosine.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <set>

#include "presets/piFraction.h"
#include "presets/preset.h"
#include "system/turnTables.h"

namespace bramblewisp {
namespace {

// Every angle a run can turn by, taken from the presets themselves: each
// fixed angle, every jitter angle of each jittered amplitude, and type 3's
// seed angles.
std::set<uint32_t> anglesOfEveryRun() {
    std::set<uint32_t> angles;
    const auto add = [&](float angle) { angles.insert(std::bit_cast<uint32_t>(angle)); };
    for (int32_t type = 0; type <= 4; ++type) {
        ParticleSystem system;
        createPreset(type, 1).build(system);
        for (const RuleLayer& layer : system.layers) {
            for (const auto& group : layer) {
                for (const Rule& rule : group->rules) {
                    for (const float angle : {rule.angleX, rule.angleY, rule.angleZ}) {
                        if (!rule.jitter) {
                            add(angle);
                            continue;
                        }
                        for (int32_t step = 0; step < kJitterSteps; ++step) {
                            add(jitterAngle(step, angle));
                        }
                    }
                }
            }
        }
    }
    for (int i = 0; i < 6; ++i) {
        add(static_cast<float>(i * static_cast<double>(piFraction(1, 3))));
    }
    return angles;
}

// The float nearest to an x87 extended result, refused when that result lies
// so near a float midpoint that its own error could tip the rounding.
float roundedReference(long double exact, uint32_t angleBits) {
    const float nearest = static_cast<float>(exact);
    for (const float neighbour :
         {std::nextafter(nearest, INFINITY), std::nextafter(nearest, -INFINITY)}) {
        const long double midpoint = (static_cast<long double>(nearest) + neighbour) / 2;
        EXPECT_GT(std::fabs(exact - midpoint), std::ldexp(std::fabs(exact), -58))
            << std::hex << angleBits;
    }
    return nearest;
}

TEST(SineCosineTest, EveryTurnOfEveryRunIsCorrectlyRounded) {
    if (LDBL_MANT_DIG < 64) {
        GTEST_SKIP() << "long double is too narrow to serve as the reference";
    }
    const std::set<uint32_t> angles = anglesOfEveryRun();
    ASSERT_GT(angles.size(), 5u * kJitterSteps);
    int wrong = 0;
    for (const uint32_t bits : angles) {
        const float angle = std::bit_cast<float>(bits);
        const SineCosine got = sineCosineOf(angle);
        const float sine = roundedReference(sinl(static_cast<long double>(angle)), bits);
        const float cosine = roundedReference(cosl(static_cast<long double>(angle)), bits);
        if (std::bit_cast<uint32_t>(got.sine) != std::bit_cast<uint32_t>(sine) ||
            std::bit_cast<uint32_t>(got.cosine) != std::bit_cast<uint32_t>(cosine)) {
            if (++wrong <= 5) {
                ADD_FAILURE() << std::hexfloat << angle << ": got " << got.sine << ", "
                              << got.cosine << "; want " << sine << ", " << cosine;
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "of " << angles.size() << " angles";
}

TEST(SineCosineTest, ZerosKeepTheirSignAndAnglesOutOfReachGiveNaN) {
    EXPECT_TRUE(std::signbit(sineCosineOf(-0.0f).sine));
    EXPECT_FALSE(std::signbit(sineCosineOf(0.0f).sine));
    EXPECT_EQ(sineCosineOf(-0.0f).cosine, 1.0f);
    for (const float far : {0x1p20f, -0x1p20f, INFINITY, NAN}) {
        EXPECT_TRUE(std::isnan(sineCosineOf(far).sine)) << far;
        EXPECT_TRUE(std::isnan(sineCosineOf(far).cosine)) << far;
    }
}

} // namespace
} // namespace bramblewisp
