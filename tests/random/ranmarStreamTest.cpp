#include "random/ranmarStream.h"

#include <gtest/gtest.h>

namespace bramblewisp {
namespace {

// Bulk and single draws, mixed so that the runs of sixteen meet every phase
// of the two lags and every rewind of the history, against the ring.
TEST(RanmarStreamTest, GivesTheDrawsOfTheRing) {
    Ranmar ring;
    ring.init(1802, 9373);
    RanmarStream stream;
    stream.init(1802, 9373);
    for (int round = 0; round < 3000; ++round) {
        int32_t values[16];
        stream.fillSixteen(values);
        for (int k = 0; k < 16; ++k) {
            ASSERT_EQ(values[k], ring.next()) << "round " << round << ", draw " << k;
        }
        for (int single = 0; single < round % 5; ++single) {
            ASSERT_EQ(stream.next(), ring.next()) << "round " << round;
        }
    }
}

// Handing the state over in either direction, at any phase, continues the
// sequence: the brush's tests copy the stream into a ring, and a stream may
// start from a ring that has already drawn.
TEST(RanmarStreamTest, ContinuesAcrossHandOvers) {
    Ranmar ring;
    ring.init(-5, 0);
    for (int phase = 0; phase < 300; ++phase) {
        RanmarStream stream(ring);
        Ranmar copy = stream.ranmar();
        for (int k = 0; k < 40; ++k) {
            const int32_t expected = ring.next();
            ASSERT_EQ(stream.next(), expected) << "phase " << phase;
            ASSERT_EQ(copy.next(), expected) << "phase " << phase;
        }
        ring = copy;
        for (int k = 0; k < phase % 7; ++k) {
            ring.next();
        }
    }
}

// Sixteen draws at once find the carry of each draw without stepping it, so
// its wrap is decided by comparing the starting carry with k * cd mod cm for
// k = 1 to 16: started at each of those remainders, and one either side, the
// carry lands on zero (or just past it) at one draw of the sixteen.
TEST(RanmarStreamTest, GivesTheRingsDrawsWhereTheCarryWraps) {
    for (int32_t k = 1; k <= 16; ++k) {
        const auto remainder = static_cast<int32_t>((int64_t{k} * 7654321) % 16777213);
        for (const int32_t carry : {remainder - 1, remainder, remainder + 1}) {
            Ranmar ring;
            ring.init(1802, 9373);
            ring.c = carry;
            RanmarStream bulk(ring), single(ring);
            for (int round = 0; round < 2; ++round) {
                int32_t values[16];
                bulk.fillSixteen(values);
                for (int draw = 0; draw < 16; ++draw) {
                    const int32_t expected = ring.next();
                    ASSERT_EQ(values[draw], expected)
                        << "carry " << carry << ", draw " << 16 * round + draw;
                    ASSERT_EQ(single.next(), expected)
                        << "carry " << carry << ", draw " << 16 * round + draw;
                }
            }
        }
    }
}

TEST(RanmarStreamTest, StartsLikeTheRing) {
    const RanmarStream fresh;
    Ranmar ring;
    ring.init(0, 0);
    RanmarStream stream = fresh;
    for (int k = 0; k < 200; ++k) {
        ASSERT_EQ(stream.next(), ring.next()) << k;
    }
}

} // namespace
} // namespace bramblewisp
