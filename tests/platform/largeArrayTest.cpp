#include "platform/largeArray.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace bramblewisp {
namespace {

// Sizes on both sides of whole pages and of where blocks are mapped in whole
// huge pages. Every block is writable to its last byte, and giving some back
// (each with the length it was mapped with) leaves the others, possibly its
// neighbours, intact.
TEST(LargeBlocks, HoldEveryByteAndReleaseOnlyThemselves) {
    const std::size_t sizes[] = {0,       1,        4095,           (1u << 20) - 8, 1u << 20,
                                 1921024, 2u << 20, (2u << 20) + 1, 12431088};
    std::vector<unsigned char*> blocks;
    for (int round = 0; round < 3; ++round) {
        for (const std::size_t size : sizes) {
            auto* block = static_cast<unsigned char*>(platform::allocateLarge(size));
            ASSERT_NE(block, nullptr);
            std::memset(block, static_cast<int>(blocks.size() & 255), size);
            blocks.push_back(block);
        }
    }
    const std::size_t count = std::size(sizes);
    for (std::size_t k = 0; k < blocks.size(); k += 2) {
        platform::releaseLarge(blocks[k], sizes[k % count]);
    }
    for (std::size_t k = 1; k < blocks.size(); k += 2) {
        const std::size_t size = sizes[k % count];
        if (size > 0) {
            EXPECT_EQ(blocks[k][0], k & 255) << size << " bytes";
            EXPECT_EQ(blocks[k][size - 1], k & 255) << size << " bytes";
        }
        platform::releaseLarge(blocks[k], size);
    }
}

} // namespace
} // namespace bramblewisp
