#include "system/blockPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <vector>

#include "system/particleList.h"

namespace bramblewisp {
namespace {

// Blocks across several slabs never overlap, keep their contents, are
// aligned, and come back first-in-last-out once given back.
TEST(BlockPool, BlocksAreDistinctAlignedAndRecycled) {
    BlockPool pool(24000);
    std::vector<unsigned char*> blocks;
    for (int k = 0; k < 600; ++k) { // about three and a half slabs
        auto* block = static_cast<unsigned char*>(pool.take());
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
        std::memset(block, k & 255, pool.blockBytes);
        blocks.push_back(block);
    }
    std::vector<unsigned char*> sorted = blocks;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t k = 1; k < sorted.size(); ++k) {
        ASSERT_GE(sorted[k] - sorted[k - 1], static_cast<std::ptrdiff_t>(pool.blockBytes));
    }
    for (int k = 0; k < 600; ++k) {
        ASSERT_EQ(blocks[k][0], k & 255);
        ASSERT_EQ(blocks[k][pool.blockBytes - 1], k & 255);
    }
    pool.give(blocks[5]);
    pool.give(blocks[9]);
    EXPECT_EQ(pool.take(), blocks[9]);
    EXPECT_EQ(pool.take(), blocks[5]);
}

TEST(BlockPool, RejectsBlocksThatCannotFitASlab) {
    EXPECT_THROW(BlockPool(0), std::invalid_argument);
    EXPECT_THROW(BlockPool((std::size_t{4} << 20) + 1), std::invalid_argument);
    EXPECT_NO_THROW(BlockPool(std::size_t{4} << 20));
}

// A list draws its chunks from a pool only when the blocks fit its chunks, and
// a cleared list's memory is what the next chunks get.
TEST(BlockPool, ListsDrawFittingChunksFromThePool) {
    BlockPool pool(sizeof(Particle) * 10);
    ParticleList pooled(10), otherSize(7);
    pooled.drawChunksFrom(&pool);
    otherSize.drawChunksFrom(&pool);
    for (int k = 0; k < 25; ++k) {
        const float v = static_cast<float>(k);
        pooled.append(Particle{{v, v, v}, {v, v, v}});
        otherSize.append(Particle{{v, v, v}, {v, v, v}});
    }
    ASSERT_EQ(pooled.chunkCount(), 3u);
    const void* last = nullptr;
    pooled.forEachChunk([&](std::span<const Particle> chunk) { last = chunk.data(); });
    float expected = 0.0f;
    for (const Particle& p : pooled) {
        ASSERT_EQ(p.position.x, expected);
        expected += 1.0f;
    }
    pooled.clear();
    // The chunk freed last comes back first; the other list's never did.
    EXPECT_EQ(pool.take(), last);
    EXPECT_EQ(otherSize.count, 25);
}

} // namespace
} // namespace bramblewisp
