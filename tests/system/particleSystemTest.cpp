#include "system/particleSystem.h"

#include <gtest/gtest.h>

namespace bramblewisp {
namespace {

const Particle kParticle{{1, 2, 3}, {0, 1, 0}};

TEST(ParticleSystemTest, BanksCountTheirOwnListsAndSwap) {
    ParticleSystem system;
    ParticleStore& store = *system.store;
    EXPECT_EQ(store.currentBank(), store.allLists().data());
    EXPECT_EQ(store.nextCount() + store.currentCount(), 0);
    EXPECT_EQ(system.random.next(), 5790094); // both started with (0, 0)
    EXPECT_EQ(system.ruleRandom.next(), 5790094);
    for (int layer = 0; layer < kLayerCount; ++layer) {
        for (int n = 0; n <= layer; ++n) {
            store.currentBank()[layer].append(kParticle); // 1 + 2 + 3 + 4
        }
    }
    store.nextBank()[3].append(kParticle);
    const int32_t counts[][2] = {{10, 1}, {1, 10}, {10, 1}};
    for (const auto& expected : counts) {
        EXPECT_EQ(store.currentCount(), expected[0]);
        EXPECT_EQ(store.nextCount(), expected[1]);
        EXPECT_EQ(store.currentBank()[3].count, expected[0] == 10 ? 4 : 1);
        store.swapBanks();
    }
}

// On large blocks every list's chunks come from the store's pool; a list
// whose chunks did not fit its blocks would take them from the heap unseen.
TEST(ParticleSystemTest, ListsOnLargeBlocksDrawTheirChunksFromTheStoresPool) {
    ParticleSystem system(/*onLargeBlocks=*/true);
    ParticleStore& store = *system.store;
    ASSERT_TRUE(store.onLargeBlocks());
    for (int round = 0; round < 2; ++round) {
        for (ParticleList& list : store.allLists()) {
            for (int32_t k = 0; k <= list.chunkSize; ++k) { // two chunks
                list.append(kParticle);
            }
        }
        // The second round takes the blocks that the first gave back.
        EXPECT_EQ(store.pool().carved(), 2 * store.allLists().size()) << "round " << round;
        for (ParticleList& list : store.allLists()) {
            list.clear();
        }
    }
}

} // namespace
} // namespace bramblewisp
