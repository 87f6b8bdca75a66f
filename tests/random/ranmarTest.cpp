#include "random/ranmar.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace bramblewisp {
namespace {

std::vector<int32_t> draws(int32_t ij, int32_t kl, int skip, std::size_t count) {
    Ranmar random;
    random.init(ij, kl);
    for (int n = 0; n < skip; ++n) {
        random.next();
    }
    std::vector<int32_t> values(count);
    for (int32_t& value : values) {
        value = random.next();
    }
    return values;
}

TEST(RanmarTest, KnownSequences) {
    const std::vector<int32_t> zero{5790094, 1344571, 2990437, 11091400, 5494037};
    const struct {
        int32_t ij, kl;
        int skip;
        std::vector<int32_t> expected;
    } cases[] = {
        {0, 0, 0, zero},
        {1802, 9373, 20000, {6533892, 14220222, 7275067, 6172232, 8354498, 10633180}},
        // The seeds wrap at their moduli...
        {31328, 0, 0, zero},
        {0, 30081, 0, zero},
        // ...but truncating division keeps a negative remainder negative.
        {-5, 0, 0, {7275428}},
        {31323, 0, 0, {153399}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(draws(c.ij, c.kl, c.skip, c.expected.size()), c.expected) << c.ij << ", " << c.kl;
    }
}

TEST(RanmarTest, DrawsStayWithin24Bits) {
    const int32_t seeds[][2] = {{0, 0},         {-1, -1},         {INT_MIN, INT_MAX},
                                {31327, 30080}, {-31327, -30080}, {12345, 678}};
    for (const auto& seed : seeds) {
        for (int32_t value : draws(seed[0], seed[1], 0, 5000)) {
            ASSERT_TRUE(value >= 0 && value <= 16777215) << seed[0] << ", " << seed[1];
        }
    }
}

// A skip lands where as many draws land, whatever the ring's position, the
// carry's wrap and the lags' distance from the count.
TEST(RanmarTest, SkipLeavesTheStateOfAsManyDraws) {
    const uint64_t counts[] = {0, 1, 32, 33, 64, 96, 97, 98, 193, 1000, 12345, 262143, 3000017};
    for (const int32_t seed : {0, 1802, -5}) {
        for (const int32_t before : {0, 40}) {
            for (const uint64_t count : counts) {
                Ranmar stepped, skipped;
                stepped.init(seed, 9373);
                for (int n = 0; n < before; ++n) {
                    stepped.next();
                }
                skipped = stepped;
                for (uint64_t n = 0; n < count; ++n) {
                    stepped.next();
                }
                skipped.skip(count);
                for (int n = 0; n < 200; ++n) {
                    ASSERT_EQ(skipped.next(), stepped.next())
                        << seed << " after " << before << ", skipping " << count;
                }
            }
        }
    }
}

} // namespace
} // namespace bramblewisp
