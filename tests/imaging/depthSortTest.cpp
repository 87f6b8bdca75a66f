#include "imaging/depthSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <vector>

#include "imaging/plainDepthOrder.h"

namespace bramblewisp {
namespace {

struct Item {
    float z;
    int id;
};

// The ids in drawing order, through a comparison of the caller's, which takes
// the plain sort, or through the renderer's own, which compares four keys at
// a time where the vector unit is built; shared by the workers if given.
std::vector<int> sortedIds(const std::vector<float>& z, bool renderersOrder = false,
                           platform::WorkerPool* workers = nullptr) {
    std::vector<Item> items;
    for (std::size_t i = 0; i < z.size(); ++i) {
        items.push_back({z[i], static_cast<int>(i)});
    }
    Item* first = items.data();
    Item* last = first + items.size();
    const auto closer = [](const Item& a, const Item& b) { return a.z > b.z; };
    if (renderersOrder) {
        workers ? depthSort(first, last, depthsort::FartherFirst{}, *workers)
                : depthSort(first, last, depthsort::FartherFirst{});
    } else {
        workers ? depthSort(first, last, closer, *workers) : depthSort(first, last, closer);
    }
    std::vector<int> ids;
    for (const Item& item : items) {
        ids.push_back(item.id);
    }
    return ids;
}

// Random, rising and falling keys with few or many ties, on both sides of
// the 16 that separates the insertion-only arrays from the partitioned ones,
// and long enough for the split to work a block at a time.
TEST(DepthSort, KeepsTheQuicksortOrderAmongEqualKeys) {
    EXPECT_EQ(sortedIds({5, 1, 3}), (std::vector<int>{0, 2, 1}));
    uint32_t state = 12345;
    int unlikeStable = 0;
    for (const std::size_t n : {0u, 3u, 16u, 17u, 18u, 40u, 129u, 257u, 1000u, 5000u, 40000u}) {
        for (const uint32_t distinct : {1u, 2u, 5u, 1000u}) {
            std::vector<float> z(n);
            for (float& key : z) {
                state = state * 1664525u + 1013904223u;
                key = static_cast<float>((state >> 8) % distinct);
            }
            std::vector<float> rising = z, falling = z;
            std::sort(rising.begin(), rising.end());
            std::sort(falling.rbegin(), falling.rend());
            for (const auto* keys : {&z, &rising, &falling}) {
                const std::vector<int> ids = sortedIds(*keys);
                EXPECT_EQ(ids, plainDepthOrder(*keys)) << n << " keys, " << distinct << " values";
                EXPECT_EQ(sortedIds(*keys, true), ids) << n << " keys, " << distinct << " values";
                std::vector<int> stable(n);
                std::iota(stable.begin(), stable.end(), 0);
                std::stable_sort(stable.begin(), stable.end(),
                                 [&](int a, int b) { return (*keys)[a] > (*keys)[b]; });
                EXPECT_TRUE(n > 16 || ids == stable) << n << " keys, " << distinct << " values";
                unlikeStable += ids != stable;
            }
        }
    }
    // Otherwise a stable sort would pass as well.
    EXPECT_GT(unlikeStable, 10);
}

// The renderer's order sorts each leaf of the partition on its own, which is
// the final pass's result only while the leaves cannot overlap: signed zeros
// must tie, infinities order, and a NaN anywhere sends the keys the long way.
TEST(DepthSort, SortsLeavesAsTheFinalPassWithSignedZerosInfinitiesAndNaN) {
    const float special[] = {0.0f,
                             -0.0f,
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             1.5f,
                             -1.5f,
                             3.0f};
    uint32_t state = 777;
    for (const std::size_t n : {17u, 33u, 300u, 5000u}) {
        std::vector<float> z(n);
        for (float& key : z) {
            state = state * 1664525u + 1013904223u;
            key = special[(state >> 8) % 7];
        }
        EXPECT_EQ(sortedIds(z, true), plainDepthOrder(z)) << n << " keys";
        for (const std::size_t at : {std::size_t{0}, n / 2, n - 1}) {
            std::vector<float> withNaN = z;
            withNaN[at] = std::numeric_limits<float>::quiet_NaN();
            const std::vector<int> ids = sortedIds(withNaN, true);
            EXPECT_EQ(ids, plainDepthOrder(withNaN)) << n << " keys, NaN at " << at;
            EXPECT_EQ(ids, sortedIds(withNaN)) << n << " keys, NaN at " << at;
        }
    }
}

// Shared by several workers, the partition's ranges are finished side by side
// in any order: each key must still land where one thread puts it, with ties,
// with a NaN (the final pass then runs over the whole array), and through
// both the renderer's comparison and a caller's.
TEST(DepthSort, KeepsTheOrderWhenWorkersShareTheSort) {
    platform::WorkerPool pools[] = {platform::WorkerPool{2}, platform::WorkerPool{3},
                                    platform::WorkerPool{7}};
    uint32_t state = 4242;
    for (const std::size_t n : {17u, 40000u, 300000u}) {
        for (const uint32_t distinct : {1u, 3u, 100000u}) {
            std::vector<float> z(n);
            for (float& key : z) {
                state = state * 1664525u + 1013904223u;
                key = static_cast<float>((state >> 8) % distinct);
            }
            if (distinct == 3) {
                z[n / 3] = std::numeric_limits<float>::quiet_NaN();
            }
            const std::vector<int> expected = plainDepthOrder(z);
            for (platform::WorkerPool& pool : pools) {
                for (const bool renderersOrder : {true, false}) {
                    EXPECT_EQ(sortedIds(z, renderersOrder, &pool), expected)
                        << n << " keys, " << distinct << " values, " << pool.workers() << " workers"
                        << (renderersOrder ? "" : ", plain");
                }
            }
        }
    }
}

// Keys that all tie are put in order without a comparison, a window at a
// time: every window, however it falls on the partition's leaves, must hold
// what the sort puts there.
TEST(DepthSort, PutsKeysThatAllTieInTheSortsOrderAWindowAtATime) {
    for (const std::size_t n : {0u, 1u, 16u, 17u, 18u, 33u, 100u, 1000u, 5001u, 40000u}) {
        const std::vector<int> expected = sortedIds(std::vector<float>(n, 0.0f), true);
        if (n <= 5001) {
            ASSERT_EQ(expected, plainDepthOrder(std::vector<float>(n, 0.0f))) << n << " keys";
        }
        for (const std::ptrdiff_t window : {1, 7, 16, 2048, 1 << 20}) {
            std::vector<int> ids;
            const auto count = static_cast<std::ptrdiff_t>(n);
            for (std::ptrdiff_t begin = 0; begin < count; begin += window) {
                const std::ptrdiff_t end = std::min(count, begin + window);
                depthsort::equalKeysOrder(count, begin, end, [&](std::ptrdiff_t position) {
                    ids.push_back(static_cast<int>(position));
                });
                ASSERT_EQ(ids.size(), static_cast<std::size_t>(end))
                    << n << " keys, windows of " << window;
            }
            EXPECT_EQ(ids, expected) << n << " keys, windows of " << window;
        }
    }
}

} // namespace
} // namespace bramblewisp
