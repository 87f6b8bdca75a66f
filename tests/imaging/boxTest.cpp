#include "imaging/box.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

namespace bramblewisp {
namespace {

bool sameBits(const Box& a, const Box& b) {
    return std::memcmp(&a, &b, sizeof(Box)) == 0;
}

// Every sequence of five values from a set with both zeros, a NaN and values
// beyond the starting extremes, cut into runs in every way: the runs' boxes
// followed in order are the one-pass box, bit for bit; and the particles'
// box gathered a run at once is the one gathered one at a time.
TEST(BoxTest, RunsFollowedInOrderGiveTheOnePassBox) {
    const float values[] = {-2.0f, -0.0f, 0.0f, 1.0f, std::numeric_limits<float>::quiet_NaN(),
                            -3e6f, 3e6f};
    constexpr int kLength = 5;
    constexpr int kValues = std::size(values);
    int sequences = 1;
    for (int k = 0; k < kLength; ++k) {
        sequences *= kValues;
    }
    for (int s = 0; s < sequences; ++s) {
        std::vector<Vec3> points;
        for (int k = 0, rest = s; k < kLength; ++k, rest /= kValues) {
            // The axes see the values in different orders.
            points.push_back(Vec3{values[rest % kValues], values[(rest + 1) % kValues],
                                  values[(rest + 3) % kValues]});
        }
        Box onePass;
        for (const Vec3& v : points) {
            onePass.include(v);
        }
        // A run of particles at once gives what one particle at a time gives.
        std::vector<Particle> particles;
        Box oneByOne;
        for (int k = 0; k < kLength; ++k) {
            particles.push_back(Particle{points[k], points[(k + 2) % kLength]});
            oneByOne.include(particles.back());
        }
        Box atOnce;
        atOnce.includeAll(particles);
        ASSERT_TRUE(sameBits(atOnce, oneByOne)) << "sequence " << s;
        for (int cuts = 0; cuts < 1 << (kLength - 1); ++cuts) {
            Box merged, run;
            for (int k = 0; k < kLength; ++k) {
                run.include(points[k]);
                if (k == kLength - 1 || (cuts >> k & 1) != 0) {
                    merged.follow(run);
                    run = Box{};
                }
            }
            ASSERT_TRUE(sameBits(merged, onePass)) << "sequence " << s << ", cuts " << cuts;
        }
    }
}

} // namespace
} // namespace bramblewisp
