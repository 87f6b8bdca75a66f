#include "system/rotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace bramblewisp {
namespace {

constexpr float kQuarter = std::numbers::pi_v<float> / 2;

float length(const Vec3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// The last two cases only come out right when the turns are taken about x,
// then y, then z; the others check each axis and its sense.
TEST(RotationTest, TurnsAboutFixedAxesInOrderAndKeepsLength) {
    const struct {
        Vec3 angles, from, to;
    } cases[] = {
        {{0, 0, kQuarter}, {1, 0, 0}, {0, 1, 0}},
        {{kQuarter, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{0, kQuarter, 0}, {1, 0, 0}, {0, 0, -1}},
        {{kQuarter, kQuarter, 0}, {0, 1, 0}, {1, 0, 0}},
        {{0, kQuarter, kQuarter}, {0, 0, 1}, {0, 1, 0}},
    };
    for (const auto& c : cases) {
        const Vec3 v = Rotation(c.angles.x, c.angles.y, c.angles.z).apply(c.from);
        EXPECT_NEAR(v.x, c.to.x, 1e-6f);
        EXPECT_NEAR(v.y, c.to.y, 1e-6f);
        EXPECT_NEAR(v.z, c.to.z, 1e-6f);
    }
    for (const Vec3& a : {Vec3{0.19634955f, 0.7853982f, -2.0943952f}, Vec3{-3, 1, 6.3f}}) {
        for (const Vec3& from : {Vec3{0.3f, -1.2f, 2.5f}, Vec3{-0.004f, 0.002f, 0.001f}}) {
            const Vec3 v = Rotation(a.x, a.y, a.z).apply(from);
            EXPECT_NEAR(length(v), length(from), length(from) * 1e-6f);
        }
    }
}

} // namespace
} // namespace bramblewisp
