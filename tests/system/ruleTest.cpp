#include "system/rule.h"

#include <gtest/gtest.h>

#include <bit>

#include "platform/workerPool.h"
#include "random/scriptedRanmar.h"
#include "system/listContents.h"
#include "system/particleSystem.h"

namespace bramblewisp {
namespace {

const Particle kParent{{1, 2, 3}, {0.5f, -0.25f, 1}};

Vec3 turned(float factor, float ax, float ay, float az) {
    const Vec3 v{kParent.direction.x * factor, kParent.direction.y * factor,
                 kParent.direction.z * factor};
    return Rotation(ax, ay, az).apply(v);
}

float jitterFrom(Ranmar& random, float amplitude) {
    const float u = static_cast<float>(random.next() & 0xFFFF) * (1.0f / 65536.0f);
    return (u - 0.5f) * amplitude * 2.0f;
}

TEST(RuleTest, ShortParentsHaveNoChildren) {
    RuleGroup group(1.0f);
    group.rules.emplace_back(1, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, false);
    group.rules.emplace_back(2, 0.0f, 0.0f, 0.0f, 0.5f, 1.0f, false);
    const float step = 0x1p-20f;
    const struct {
        Vec3 direction;
        int32_t children;
    } cases[] = {
        {{0.005f, 0, 0}, 1},
        {{0.003f, 0, 0}, 0},
        {{0, 0, -0.005f}, 1},
        // Squared length 0x378637BE in single precision and just above it
        // exactly: long enough whatever precision sums it.
        {{0.004f, 8e-7f, 0}, 1},
        // Squared length exactly 0x378637BD, one step below the limit.
        {{3977 * step, 979 * step, 904 * step}, 0},
    };
    ASSERT_EQ(std::bit_cast<uint32_t>(0.004f * 0.004f), 0x378637BEu);
    for (const auto& c : cases) {
        ParticleList next[4];
        Ranmar random = scriptedRanmar({});
        group.apply(Particle{{0, 0, 0}, c.direction}, next, random);
        EXPECT_EQ(next[1].count, c.children) << c.direction.x;
        EXPECT_EQ(next[2].count, c.children) << c.direction.x;
    }
}

// An unturned copy and a fixed turn draw nothing; a fixed turn gives every
// child the same direction.
TEST(RuleTest, UnjitteredChildrenDrawNothing) {
    const Rule copy(3, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, true);
    const Rule turn(0, 0.3f, -0.7f, 1.1f, 0.6f, 0.25f, false);
    Ranmar random;
    random.init(0, 0);
    const Ranmar before = random;
    ParticleList next[4];
    copy.apply(kParent, next, random);
    turn.apply(kParent, next, random);
    turn.apply(kParent, next, random);
    EXPECT_EQ(drawsBetween(before, random, 10), 0);
    EXPECT_TRUE(sameParticles(contentsOf(next[3]), {kParent}));
    const Particle turnedChild{{1.125f, 1.9375f, 3.25f}, turned(0.6f, 0.3f, -0.7f, 1.1f)};
    EXPECT_TRUE(sameParticles(contentsOf(next[0]), {turnedChild, turnedChild}));
}

// Three draws per child, for x, y and z in that order, even when only one
// amplitude is non-zero; successive children take successive draws.
TEST(RuleTest, JitterDrawsThreeAnglesPerChildInAxisOrder) {
    for (const Vec3& a : {Vec3{0.2f, 0.7f, 1.3f}, Vec3{0, 0, 0.5f}}) {
        Ranmar random;
        random.init(0, 0);
        Ranmar expectedRandom = random;
        const Rule rule(1, a.x, a.y, a.z, 0.8f, 0.0f, true);
        ParticleList next[4];
        rule.apply(kParent, next, random);
        rule.apply(kParent, next, random);
        ASSERT_EQ(next[1].count, 2);
        for (const Particle& child : next[1]) {
            const float ax = jitterFrom(expectedRandom, a.x);
            const float ay = jitterFrom(expectedRandom, a.y);
            const float az = jitterFrom(expectedRandom, a.z);
            EXPECT_TRUE(sameParticles({child}, {{kParent.position, turned(0.8f, ax, ay, az)}}));
        }
        EXPECT_EQ(drawsBetween(expectedRandom, random, 0), 0);
    }
}

// A table gives the turn worked out afresh, on first use and after, and
// once every entry is worked out first, for a signed zero, a zero, and
// amplitudes that differ by axis; rules with equal amplitudes share a table.
TEST(RuleTest, TabledJitterTurnsAsTheFormula) {
    const Vec3 amplitudes[] = {{0.2f, 0.7f, 1.3f}, {0.0f, -0.0f, 0.5f}, {0.7f, 0.7f, 0.7f}};
    ParticleSystem system;
    auto group = std::make_unique<RuleGroup>(1.0f);
    for (const Vec3& a : amplitudes) {
        group->rules.emplace_back(1, a.x, a.y, a.z, 0.8f, 0.0f, true);
    }
    group->rules.emplace_back(2, 0.3f, 0.0f, 0.0f, 0.8f, 0.0f, false);
    system.layers[0].push_back(std::move(group));
    system.tableJitteredTurns();
    const std::vector<Rule>& tabled = system.layers[0][0]->rules;
    EXPECT_NE(tabled[0].turnTables[0], tabled[2].turnTables[0]);
    EXPECT_EQ(tabled[0].turnTables[1], tabled[2].turnTables[2]);
    EXPECT_NE(tabled[1].turnTables[0], tabled[1].turnTables[1]);
    EXPECT_EQ(tabled[3].turnTables[0], nullptr);
    for (std::size_t r = 0; r < std::size(amplitudes); ++r) {
        const Rule plain(1, amplitudes[r].x, amplitudes[r].y, amplitudes[r].z, 0.8f, 0.0f, true);
        Ranmar random;
        random.init(0, 0);
        ParticleList expected[4];
        for (int k = 0; k < 40000; ++k) {
            plain.apply(kParent, expected, random);
        }
        random.init(0, 0);
        ParticleList got[4];
        for (int k = 0; k < 40000; ++k) {
            tabled[r].apply(kParent, got, random);
        }
        EXPECT_TRUE(sameParticles(contentsOf(got[1]), contentsOf(expected[1]))) << "rule " << r;
    }
    // The rest worked out by two workers, whose runs meet inside a table.
    platform::WorkerPool workers(2);
    system.workOutJitteredTurns(workers);
    for (std::size_t r = 0; r < std::size(amplitudes); ++r) {
        const float axes[] = {amplitudes[r].x, amplitudes[r].y, amplitudes[r].z};
        for (int axis = 0; axis < 3; ++axis) {
            for (int32_t step = 0; step < kJitterSteps; ++step) {
                ASSERT_EQ(
                    tabled[r].turnTables[axis][step].load(std::memory_order_relaxed),
                    std::bit_cast<TurnTables::Entry>(sineCosineOf(jitterAngle(step, axes[axis]))))
                    << "rule " << r << ", axis " << axis << ", step " << step;
            }
        }
    }
}

// A group's children made with every step drawn first, through the turn
// tables or without them, are the plain walk's, and the generator ends where
// it does: rules that draw sit before, between and after ones that draw
// nothing (a fixed turn, a jittered rule with no angle).
TEST(RuleTest, DrawingAheadMakesThePlainChildren) {
    for (const bool tabled : {false, true}) {
        ParticleSystem system;
        auto group = std::make_unique<RuleGroup>(1.0f);
        group->rules.emplace_back(1, 0.2f, 0.7f, 1.3f, 0.8f, 0.5f, true);
        group->rules.emplace_back(2, 0.3f, 0.0f, 0.0f, 0.6f, 0.25f, false);
        group->rules.emplace_back(1, 0.0f, 0.0f, 0.0f, 0.9f, 1.0f, true);
        group->rules.emplace_back(3, 0.0f, -0.0f, 0.5f, 0.7f, 0.1f, true);
        const RuleGroup& rules = *system.layers[0].emplace_back(std::move(group));
        if (tabled) {
            system.tableJitteredTurns();
        }
        Ranmar plainRandom, aheadRandom;
        plainRandom.init(3, 0);
        aheadRandom.init(3, 0);
        ParticleList plain[4], ahead[4];
        ParticleList::Writer writers[4];
        for (int k = 0; k < 3000; ++k) {
            rules.apply({{1.0f * k, 2, 3}, {0.5f, 0.001f * k, 1}}, plain, plainRandom);
        }
        for (int layer = 0; layer < 4; ++layer) {
            ahead[layer].extendTo(plain[layer].count);
            writers[layer] = ahead[layer].writerAt(0);
        }
        for (int k = 0; k < 3000; ++k) {
            rules.emitDrawingAhead({{1.0f * k, 2, 3}, {0.5f, 0.001f * k, 1}}, writers, aheadRandom);
        }
        for (int layer = 1; layer < 4; ++layer) {
            EXPECT_TRUE(sameParticles(contentsOf(ahead[layer]), contentsOf(plain[layer])));
        }
        EXPECT_EQ(aheadRandom.next(), plainRandom.next()) << (tabled ? "tabled" : "");
    }
}

} // namespace
} // namespace bramblewisp
