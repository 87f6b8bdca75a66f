#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "imaging/depthSort.h"
#include "platform/simd.h"

#if BRAMBLEWISP_SSE2
namespace bramblewisp::depthsort {

// depthsort::plainSort (depthSort.h) for the renderer's keys, with the
// vector unit doing the comparisons: the same cuts, swaps and insertions, so
// every key lands where the plain sort puts it.

// The split of the plain scan: i runs right over the keys before the pivot,
// j left over the keys the pivot is before, and the two stops swap. The k-th
// swap always pairs the k-th left stop with the k-th right stop, so while the
// two scans are far apart the stops can be found a block at a time without a
// branch per key (the comparisons are unpredictable), and the pairs swapped
// in the same order. Near the meeting point the plain scan takes over from
// the state after the last swap, which is exactly where it would have been.
inline constexpr std::ptrdiff_t kSplitBlock = 64;

// Farther first over ZRecords (depthSort.h): four comparisons at a time,
// their stops appended from a table of bit positions.

struct StopTable {
    constexpr StopTable() {
        for (int mask = 0; mask < 16; ++mask) {
            int count = 0;
            uint32_t packed = 0;
            for (int bit = 0; bit < 4; ++bit) {
                if (mask & (1 << bit)) {
                    packed |= static_cast<uint32_t>(bit) << (8 * count++);
                }
            }
            offsets[mask] = packed;
            counts[mask] = count;
        }
    }
    // Appends the offsets k + bit of the mask's set bits; returns the new
    // count. Writes four bytes whatever the mask: stops needs 3 spare.
    int append(int mask, int k, uint8_t* stops, int count) const {
        const uint32_t packed = offsets[mask] + static_cast<uint32_t>(k) * 0x01010101u;
        std::memcpy(stops + count, &packed, 4);
        return count + counts[mask];
    }

    uint32_t offsets[16]{};
    int counts[16]{};
};
inline constexpr StopTable kStopTable{};

// The z of four consecutive records, the first at record.
template <ZRecord T> __m128 fourZ(const T* record) {
    const float* z = reinterpret_cast<const float*>(record);
    return _mm_shuffle_ps(_mm_loadu_ps(z), _mm_loadu_ps(z + 4), _MM_SHUFFLE(2, 0, 2, 0));
}

template <ZRecord T>
int leftStopsOf(const T* block, int size, const T& pivot, FartherFirst before, uint8_t* stops) {
    const __m128 p = _mm_set1_ps(pivot.z);
    int count = 0;
    int k = 0;
    for (; k + 4 <= size; k += 4) {
        const __m128 near = fourZ(block + k);
        // !(z > pivot z)
        count = kStopTable.append(_mm_movemask_ps(_mm_cmpngt_ps(near, p)), k, stops, count);
    }
    for (; k < size; ++k) {
        stops[count] = static_cast<uint8_t>(k);
        count += !before(block[k], pivot);
    }
    return count;
}

template <ZRecord T>
int rightStopsOf(const T* end, int size, const T& pivot, FartherFirst before, uint8_t* stops) {
    const __m128 p = _mm_set1_ps(pivot.z);
    const float* z = reinterpret_cast<const float*>(end);
    int count = 0;
    int k = 0;
    for (; k + 4 <= size; k += 4) {
        // end[-1 - k] down to end[-4 - k], in that order.
        const __m128 far = _mm_shuffle_ps(_mm_loadu_ps(z - 2 * k - 4), _mm_loadu_ps(z - 2 * k - 8),
                                          _MM_SHUFFLE(0, 2, 0, 2));
        // !(pivot z > z)
        count = kStopTable.append(_mm_movemask_ps(_mm_cmpnlt_ps(far, p)), k, stops, count);
    }
    for (; k < size; ++k) {
        stops[count] = static_cast<uint8_t>(k);
        count += !before(pivot, end[-1 - k]);
    }
    return count;
}

// What the final insertion pass makes of one leaf of the partition, sorted
// while the leaf is still in cache. The pass is stable and, when no z is NaN,
// never moves a key past a leaf boundary (every key of a leaf is nearer than
// or as near as every key of the leaves before it), so it sorts each leaf
// stably on its own. Here without a branch per key: key i goes to the place
// after every key with a larger z and every equal key in front of it.
template <ZRecord T> void sortLeaf(T* first, T* last, FartherFirst) {
    static_assert(kSmallRange == 16, "a leaf fills at most four vectors of z");
    const int n = static_cast<int>(last - first);
    if (n < 2) {
        return;
    }
    // NaN never compares: the padding counts for nobody.
    alignas(16) float z[kSmallRange];
    for (float& padding : z) {
        padding = std::numeric_limits<float>::quiet_NaN();
    }
    for (int k = 0; k < n; ++k) {
        z[k] = first[k].z;
    }
    const __m128 zs[4] = {_mm_load_ps(z), _mm_load_ps(z + 4), _mm_load_ps(z + 8),
                          _mm_load_ps(z + 12)};
    const __m128i lanes[4] = {_mm_set_epi32(3, 2, 1, 0), _mm_set_epi32(7, 6, 5, 4),
                              _mm_set_epi32(11, 10, 9, 8), _mm_set_epi32(15, 14, 13, 12)};
    __m128i ranks[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(),
                        _mm_setzero_si128()};
    for (int j = 0; j < n; ++j) {
        const __m128 zj = _mm_set1_ps(z[j]);
        const __m128i index = _mm_set1_epi32(j);
        for (int v = 0; v < 4; ++v) {
            // z_j > z_i, or equal with j in front of i.
            const __m128 ahead =
                _mm_or_ps(_mm_cmpgt_ps(zj, zs[v]),
                          _mm_and_ps(_mm_cmpeq_ps(zj, zs[v]),
                                     _mm_castsi128_ps(_mm_cmpgt_epi32(lanes[v], index))));
            ranks[v] = _mm_sub_epi32(ranks[v], _mm_castps_si128(ahead));
        }
    }
    alignas(16) int32_t rank[kSmallRange];
    for (int v = 0; v < 4; ++v) {
        simd::store(rank + 4 * v, ranks[v]);
    }
    T sorted[kSmallRange];
    for (int k = 0; k < n; ++k) {
        sorted[rank[k]] = first[k];
    }
    std::memcpy(static_cast<void*>(first), sorted, static_cast<std::size_t>(n) * sizeof(T));
}

// Whether no z is NaN, without which the leaves may overlap.
template <ZRecord T> bool allOrdered(const T* first, const T* last, FartherFirst) {
    const std::ptrdiff_t n = last - first;
    __m128 unordered = _mm_setzero_ps();
    std::ptrdiff_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const __m128 v = fourZ(first + k);
        unordered = _mm_or_ps(unordered, _mm_cmpunord_ps(v, v));
    }
    bool any = _mm_movemask_ps(unordered) != 0;
    for (; k < n; ++k) {
        any = any || first[k].z != first[k].z;
    }
    return !any;
}

// Small splits, and the end of large ones, spend most of their time in the
// plain scan's unpredictable branches. Over at most 64 keys the stops of both
// scans fit in two words of bits: a swap moves a left stop to the right
// scan's place and a right stop to the left's, and the bits follow, so each
// stop costs a bit search instead of a branch.
inline constexpr std::ptrdiff_t kMaskedKeys = 64;

// Bit k of left set where first[k] (k < n <= 64) stops the left scan (it is
// not before the pivot), of right where it stops the right scan (the pivot
// is not before it).
template <ZRecord T>
void stopMasks(const T* first, int n, const T& pivot, uint64_t& left, uint64_t& right) {
    const __m128 p = _mm_set1_ps(pivot.z);
    left = 0;
    right = 0;
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        const __m128 z = fourZ(first + k);
        left |= static_cast<uint64_t>(_mm_movemask_ps(_mm_cmpngt_ps(z, p))) << k;
        right |= static_cast<uint64_t>(_mm_movemask_ps(_mm_cmpnlt_ps(z, p))) << k;
    }
    for (; k < n; ++k) {
        left |= static_cast<uint64_t>(!(first[k].z > pivot.z)) << k;
        right |= static_cast<uint64_t>(!(pivot.z > first[k].z)) << k;
    }
}

// The plain scan over [first, last), at most 64 keys, from the state at the
// start of one of its rounds. Returns the cut; or null where a scan would run
// out of these keys, with first and last where the plain scan is to go on.
template <ZRecord T> T* splitByMasks(T*& first, T*& last, const T& pivot) {
    T* const base = first;
    const int n = static_cast<int>(last - first);
    uint64_t left, right;
    stopMasks(base, n, pivot, left, right);
    int from = 0; // the left scan starts here
    int to = n;   // the right scan starts just below
    for (;;) {
        const uint64_t leftAhead = from < 64 ? left & (~uint64_t{0} << from) : 0;
        const uint64_t rightAhead = to > 0 ? right & (~uint64_t{0} >> (64 - to)) : 0;
        if (leftAhead == 0 || rightAhead == 0) {
            first = base + from;
            last = base + to;
            return nullptr;
        }
        const int i = std::countr_zero(leftAhead);
        const int j = 63 - std::countl_zero(rightAhead);
        if (!(i < j)) {
            return base + i;
        }
        std::swap(base[i], base[j]);
        // Now i holds a right stop and j a left stop.
        left = (left & ~(uint64_t{1} << i)) | (uint64_t{1} << j);
        right = (right & ~(uint64_t{1} << j)) | (uint64_t{1} << i);
        from = i + 1;
        to = j;
    }
}

// splitByMasks where the keys are few enough, else null with first and last
// as they were.
template <ZRecord T> T* splitSmall(T*& first, T*& last, const T& pivot) {
    return last - first <= kMaskedKeys ? splitByMasks(first, last, pivot) : nullptr;
}

template <ZRecord T> T* split(T* first, T* last, const T& pivot) {
    const FartherFirst before;
    if (T* cut = splitSmall(first, last, pivot)) {
        return cut;
    }
    // Room for a whole group of four beyond the last stop.
    uint8_t leftStops[kSplitBlock + 4];
    uint8_t rightStops[kSplitBlock + 4];
    int leftCount = 0, leftNext = 0, rightCount = 0, rightNext = 0;
    T* leftBlock = first; // start of the next unscanned left block
    T* rightBlock = last; // end of the next unscanned right block
    T* leftBase = first;
    T* rightBase = last;
    for (;;) {
        // Blocks shrink near the meeting point so that the plain scan is
        // left only a few keys; two blocks never overlap.
        std::ptrdiff_t unscanned = rightBlock - leftBlock;
        if (leftCount == 0) {
            if (unscanned == 0) {
                break;
            }
            const int size = static_cast<int>(rightCount == 0 && unscanned < 2 * kSplitBlock
                                                  ? (unscanned + 1) / 2
                                                  : std::min(unscanned, kSplitBlock));
            leftNext = 0;
            leftCount = leftStopsOf(leftBlock, size, pivot, before, leftStops);
            leftBase = leftBlock;
            leftBlock += size;
            unscanned -= size;
        }
        if (rightCount == 0) {
            if (unscanned == 0) {
                break;
            }
            const int size = static_cast<int>(std::min(unscanned, kSplitBlock));
            rightNext = 0;
            rightCount = rightStopsOf(rightBlock, size, pivot, before, rightStops);
            rightBase = rightBlock;
            rightBlock -= size;
        }
        const int pairs = std::min(leftCount, rightCount);
        if (pairs == kSplitBlock) {
            // Every key of both whole blocks stops the scan (runs of equal
            // keys): the k-th from the left swaps with the k-th from the right.
            for (int k = 0; k < kSplitBlock; ++k) {
                std::swap(leftBase[k], rightBase[-1 - k]);
            }
        } else {
            for (int k = 0; k < pairs; ++k) {
                std::swap(leftBase[leftStops[leftNext + k]],
                          rightBase[-1 - rightStops[rightNext + k]]);
            }
        }
        if (pairs > 0) {
            leftNext += pairs;
            rightNext += pairs;
            leftCount -= pairs;
            rightCount -= pairs;
            first = leftBase + leftStops[leftNext - 1] + 1;
            last = rightBase - 1 - rightStops[rightNext - 1];
        }
    }
    if (T* cut = splitSmall(first, last, pivot)) {
        return cut;
    }
    return plainSplit(first, last, pivot, before);
}

// plainPartition; with sortLeaves each leaf is sorted as soon as it is cut.
template <bool sortLeaves, ZRecord T> void partition(T* first, T* last) {
    const FartherFirst before;
    while (last - first > kSmallRange) {
        const T pivot = medianOfThree(*first, *(first + (last - first) / 2), *(last - 1), before);
        T* cut = split(first, last, pivot);
        if (last - cut > cut - first) {
            partition<sortLeaves>(first, cut);
            first = cut;
        } else {
            partition<sortLeaves>(cut, last);
            last = cut;
        }
    }
    if constexpr (sortLeaves) {
        sortLeaf(first, last, before);
    }
}

// The sort of the plain pieces, with the comparisons in the vector unit.
template <ZRecord T> void vectorSort(T* first, T* last) {
    const FartherFirst before;
    if (last - first <= kSmallRange) {
        guardedInsertion(first, last, before);
        return;
    }
    if (allOrdered(first, last, before)) {
        partition<true>(first, last);
        return;
    }
    partition<false>(first, last);
    insertionPass(first, last, before);
}

} // namespace bramblewisp::depthsort
#endif
