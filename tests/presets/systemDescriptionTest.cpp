#include "presets/systemDescription.h"

#include <gtest/gtest.h>

#include <vector>

namespace bramblewisp {
namespace {

std::vector<int32_t> firstDraws(Ranmar generator) {
    std::vector<int32_t> draws(8);
    for (int32_t& draw : draws) {
        draw = generator.next();
    }
    return draws;
}

std::vector<int32_t> drawsFrom(int32_t ij, int32_t kl) {
    Ranmar generator;
    generator.init(ij, kl);
    return firstDraws(generator);
}

// Off, every seed turns alike, as the five types do; on, each seed turns its
// own way, and never as the group choices of any seed draw.
TEST(SystemDescriptionTest, TurnsFollowTheSeedOnlyWhenAsked) {
    SystemDescription system;
    std::vector<std::vector<int32_t>> following;
    for (const int32_t seed : {0, 1, 2, 1234, -5}) {
        system.turnsFollowSeed = false;
        EXPECT_EQ(firstDraws(system.ruleGenerator(seed)), drawsFrom(0, 0)) << seed;
        system.turnsFollowSeed = true;
        following.push_back(firstDraws(system.ruleGenerator(seed)));
        for (const int32_t choiceSeed : {0, 1, 2, 1234, -5, seed + 1}) {
            EXPECT_NE(following.back(), drawsFrom(choiceSeed, 0)) << seed;
        }
        for (std::size_t other = 0; other + 1 < following.size(); ++other) {
            EXPECT_NE(following.back(), following[other]) << seed;
        }
    }
}

} // namespace
} // namespace bramblewisp
