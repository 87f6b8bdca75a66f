#include "system/particleList.h"

#include <gtest/gtest.h>

#include <span>

namespace bramblewisp {
namespace {

Particle numbered(int n) {
    return Particle{{float(n), 0.5f, 0}, {0, float(-n), 1}};
}

void expectNumbered(const Particle& p, int n) {
    ASSERT_EQ(p.position.x, float(n));
    ASSERT_EQ(p.direction.y, float(-n));
}

// The particle walk and the chunk walk both see 0, 1, ... count - 1.
void expectNumberedWalk(const ParticleList& list, int count) {
    int n = 0;
    for (const Particle& p : list) {
        ASSERT_LT(n, count);
        expectNumbered(p, n++);
    }
    EXPECT_EQ(n, count);
    n = 0;
    list.forEachChunk([&](std::span<const Particle> chunk) {
        EXPECT_FALSE(chunk.empty());
        for (const Particle& p : chunk) {
            expectNumbered(p, n++);
        }
    });
    EXPECT_EQ(n, count);
}

// Sizes around the 1000-slot chunk edges, where a walk or an append is most
// likely to slip.
TEST(ParticleListTest, AppendsFillChunksAndWalkInAppendOrder) {
    const struct {
        int appends;
        std::size_t chunks;
    } cases[] = {{0, 0}, {1, 1}, {999, 1}, {1000, 1}, {1001, 2}, {2000, 2}, {2001, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.appends);
        ParticleList list;
        for (int n = 0; n < c.appends; ++n) {
            list.append(numbered(n));
        }
        EXPECT_EQ(list.count, c.appends);
        EXPECT_EQ(list.chunkCount(), c.chunks);
        EXPECT_EQ(list.begin() == list.end(), c.appends == 0);
        expectNumberedWalk(list, c.appends);
    }
}

TEST(ParticleListTest, StoredParticlesStayPutUntilClear) {
    ParticleList list;
    const Particle* first = list.append(numbered(0));
    const Particle* last = nullptr;
    for (int n = 1; n < 2500; ++n) {
        last = list.append(numbered(n));
    }
    EXPECT_EQ(first, &*list.begin());
    EXPECT_EQ(first->position.x, 0.0f);
    EXPECT_EQ(last->position.x, 2499.0f);

    list.clear();
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.chunkCount(), 0u);
    EXPECT_TRUE(list.begin() == list.end());
    list.append(numbered(0));
    EXPECT_EQ(list.chunkCount(), 1u);
    expectNumberedWalk(list, 1);
}

} // namespace
} // namespace bramblewisp
