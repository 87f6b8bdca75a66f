#include "system/particleList.h"

#include <gtest/gtest.h>

#include <span>
#include <vector>

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

// Each visit sees its window and the next one, which the next visit then
// gets: windows that tile the list in order, the last with none after it,
// whether the chunks fill the windows exactly or not.
TEST(ParticleListTest, DrainsByWindowsWithTheFollowingWindowInView) {
    using Numbers = std::vector<int>;
    auto numbersOf = [](std::span<const std::span<const Particle>> window) {
        Numbers numbers;
        for (std::span<const Particle> chunk : window) {
            for (const Particle& p : chunk) {
                numbers.push_back(static_cast<int>(p.position.x));
            }
        }
        return numbers;
    };
    for (int appends : {0, 1, 5, 6, 7, 13}) {
        SCOPED_TRACE(appends);
        ParticleList list(2); // windows of 3 chunks hold 6 particles
        for (int n = 0; n < appends; ++n) {
            list.append(numbered(n));
        }
        std::vector<Numbers> windows, followings;
        list.drainByWindows(3, [&](auto window, auto following) {
            windows.push_back(numbersOf(window));
            followings.push_back(numbersOf(following));
        });
        Numbers all, expected;
        for (std::size_t k = 0; k < windows.size(); ++k) {
            EXPECT_EQ(followings[k], k + 1 < windows.size() ? windows[k + 1] : Numbers{});
            all.insert(all.end(), windows[k].begin(), windows[k].end());
        }
        for (int n = 0; n < appends; ++n) {
            expected.push_back(n);
        }
        EXPECT_EQ(all, expected);
        EXPECT_EQ(windows.size(), static_cast<std::size_t>((appends + 5) / 6));
        EXPECT_EQ(list.count, 0);
        EXPECT_EQ(list.chunkCount(), 0u);
    }
}

} // namespace
} // namespace bramblewisp
