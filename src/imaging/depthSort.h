#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/simd.h"
#include "platform/workerPool.h"

namespace bramblewisp {

// The renderer's quicksort, kept exactly: among equal keys its order decides
// which stroke lies on top, so no library sort may stand in for it. Median of
// three, recursion into the smaller part, ranges of 16 or fewer left to a
// final insertion pass. plainSort below is that order written out step by
// step; the portable build sorts with it. With the vector unit the renderer's
// keys go through depthSortVector.h instead, which must put every key where
// plainSort does.
namespace depthsort {

inline constexpr std::ptrdiff_t kSmallRange = 16;

// The renderer's order: the larger z first.
struct FartherFirst {
    template <typename T> bool operator()(const T& a, const T& b) const { return a.z > b.z; }
};

// Moves *place back while it is before its predecessor. The caller guarantees
// that something in front stops it.
template <typename T, typename Before> void unguardedInsert(T* place, Before before) {
    T value = std::move(*place);
    T* previous = place - 1;
    while (before(value, *previous)) {
        *place = std::move(*previous);
        place = previous;
        --previous;
    }
    *place = std::move(value);
}

template <typename T, typename Before> void guardedInsertion(T* first, T* last, Before before) {
    if (first == last) {
        return;
    }
    for (T* i = first + 1; i != last; ++i) {
        if (before(*i, *first)) {
            T value = std::move(*i);
            std::move_backward(first, i, i + 1);
            *first = std::move(value);
        } else {
            unguardedInsert(i, before);
        }
    }
}

template <typename T, typename Before>
T medianOfThree(const T& x, const T& y, const T& z, Before before) {
    if (before(x, y)) {
        if (before(y, z)) {
            return y;
        }
        return before(x, z) ? z : x;
    }
    if (before(x, z)) {
        return x;
    }
    return before(y, z) ? z : y;
}

// i runs right over the keys before the pivot, j left over the keys the pivot
// is before, and the two stops swap until they meet; returns the cut.
template <typename T, typename Before>
T* plainSplit(T* first, T* last, const T& pivot, Before before) {
    for (;;) {
        while (before(*first, pivot)) {
            ++first;
        }
        --last;
        while (before(pivot, *last)) {
            --last;
        }
        if (!(first < last)) {
            return first;
        }
        std::swap(*first, *last);
        ++first;
    }
}

// Splits [first, last) until every range holds 16 or fewer keys, recursing
// into the smaller part and looping on the larger.
template <typename T, typename Before> void plainPartition(T* first, T* last, Before before) {
    while (last - first > kSmallRange) {
        const T pivot = medianOfThree(*first, *(first + (last - first) / 2), *(last - 1), before);
        T* cut = plainSplit(first, last, pivot, before);
        if (last - cut > cut - first) {
            plainPartition(first, cut, before);
            first = cut;
        } else {
            plainPartition(cut, last, before);
            last = cut;
        }
    }
}

// The final pass over a partitioned array of more than 16 keys: guarded
// insertion of the first 16 and unguarded insertion of every later key,
// which the first 16 stop. It may move a key into an earlier leaf (a NaN z
// lets leaves overlap), so it runs on one thread.
template <typename T, typename Before> void insertionPass(T* first, T* last, Before before) {
    guardedInsertion(first, first + kSmallRange, before);
    for (T* i = first + kSmallRange; i != last; ++i) {
        unguardedInsert(i, before);
    }
}

// The whole sort: 16 or fewer keys by guarded insertion alone; otherwise the
// partition and the final pass.
template <typename T, typename Before> void plainSort(T* first, T* last, Before before) {
    if (last - first <= kSmallRange) {
        guardedInsertion(first, last, before);
        return;
    }
    plainPartition(first, last, before);
    insertionPass(first, last, before);
}

// Keys that all compare equal make every scan stop at once: the split
// reverses its range and cuts it in the middle, and a leaf stays as it is. The
// sort's order is then known without a comparison or a move.
//
// The subtree of a range whose keys fill places [at, at + n) of the sorted
// order and sit, unsorted, at positions from, from + stride, ...: hands take
// the positions for places [begin, end), in place order.
template <typename Take>
void placeEqualKeys(std::ptrdiff_t from, std::ptrdiff_t stride, std::ptrdiff_t n, std::ptrdiff_t at,
                    std::ptrdiff_t begin, std::ptrdiff_t end, Take& take) {
    while (n > kSmallRange) {
        if (at >= end || at + n <= begin) {
            return;
        }
        from += stride * (n - 1);
        stride = -stride;
        const std::ptrdiff_t cut = n / 2;
        placeEqualKeys(from, stride, cut, at, begin, end, take);
        from += stride * cut;
        at += cut;
        n -= cut;
    }
    const std::ptrdiff_t low = std::max(at, begin);
    const std::ptrdiff_t high = std::min(at + n, end);
    for (std::ptrdiff_t place = low; place < high; ++place) {
        take(from + stride * (place - at));
    }
}

// The sort of n keys that all compare equal, places [begin, end) of it: calls
// take with the unsorted position of the key each place receives, in place
// order, as plainSort would leave them.
template <typename Take>
void equalKeysOrder(std::ptrdiff_t n, std::ptrdiff_t begin, std::ptrdiff_t end, Take take) {
    assert(0 <= begin && begin <= end && end <= n);
    placeEqualKeys(0, 1, n, 0, begin, end, take);
}

// The keys that the vector scans sort: 8-byte records that begin with their
// float z. (The formatter misreads the conjunction as references.)
// clang-format off
template <typename T>
concept ZRecord = sizeof(T) == 8 && std::is_trivially_copyable_v<T> && std::is_standard_layout_v<T> &&
                  std::is_same_v<decltype(T::z), float> && offsetof(T, z) == 0;
// clang-format on

#if BRAMBLEWISP_SSE2
// plainSort(first, last, FartherFirst{}) through the vector scans, which
// build on the plain pieces above (depthSortVector.h).
template <ZRecord T> void vectorSort(T* first, T* last);
#endif

} // namespace depthsort
} // namespace bramblewisp

#if BRAMBLEWISP_SSE2
#include "imaging/depthSortVector.h"
#endif

namespace bramblewisp {

namespace depthsort {

// Ranges of up to this many keys are not cut by the levels below but
// finished whole: a part must outweigh waking a worker.
inline constexpr std::ptrdiff_t kSharedRange = std::ptrdiff_t{1} << 14;

// The partition with its ranges spread over the workers. Once cut, the two
// parts of a range are disjoint and each is split as if alone, so they may be
// finished in any order on any thread: every key lands where the partition on
// one thread puts it. The ranges are cut a level at a time, each level a job,
// until there are four for every worker; then the largest go first.
// cutOnce(first, last) splits a range of more than 16 keys once and returns
// the cut; finish(first, last) partitions a range completely.
template <typename T, typename CutOnce, typename Finish>
void sharedPartition(T* first, T* last, platform::WorkerPool& workers, CutOnce cutOnce,
                     Finish finish) {
    struct Range {
        T* first;
        T* last;
        std::ptrdiff_t size() const { return last - first; }
    };
    std::vector<Range> ranges{{first, last}};
    const std::size_t wanted = 4 * static_cast<std::size_t>(workers.workers());
    while (ranges.size() < wanted) {
        std::vector<Range> cut(2 * ranges.size());
        bool any = false;
        for (const Range& range : ranges) {
            any = any || range.size() > kSharedRange;
        }
        if (!any) {
            break;
        }
        workers.run(static_cast<int>(ranges.size()), [&](int k) {
            const Range range = ranges[static_cast<std::size_t>(k)];
            T* at = range.size() > kSharedRange ? cutOnce(range.first, range.last) : range.last;
            cut[2 * static_cast<std::size_t>(k)] = {range.first, at};
            cut[2 * static_cast<std::size_t>(k) + 1] = {at, range.last};
        });
        ranges.clear();
        for (const Range& range : cut) {
            if (range.size() > 0) {
                ranges.push_back(range);
            }
        }
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const Range& a, const Range& b) { return a.size() > b.size(); });
    workers.run(static_cast<int>(ranges.size()), [&](int k) {
        const Range range = ranges[static_cast<std::size_t>(k)];
        finish(range.first, range.last);
    });
}

template <typename T, typename Before>
void plainSharedSort(T* first, T* last, Before before, platform::WorkerPool& workers) {
    if (last - first <= kSmallRange) {
        guardedInsertion(first, last, before);
        return;
    }
    sharedPartition(
        first, last, workers,
        [&](T* from, T* to) {
            return plainSplit(from, to,
                              medianOfThree(*from, *(from + (to - from) / 2), *(to - 1), before),
                              before);
        },
        [&](T* from, T* to) { plainPartition(from, to, before); });
    insertionPass(first, last, before);
}

#if BRAMBLEWISP_SSE2
template <ZRecord T> void vectorSharedSort(T* first, T* last, platform::WorkerPool& workers) {
    const FartherFirst before;
    if (last - first <= kSmallRange) {
        guardedInsertion(first, last, before);
        return;
    }
    auto cutOnce = [&](T* from, T* to) {
        return split(from, to, medianOfThree(*from, *(from + (to - from) / 2), *(to - 1), before));
    };
    if (allOrdered(first, last, before)) {
        sharedPartition(first, last, workers, cutOnce,
                        [](T* from, T* to) { partition<true>(from, to); });
        return;
    }
    sharedPartition(first, last, workers, cutOnce,
                    [](T* from, T* to) { partition<false>(from, to); });
    insertionPass(first, last, before);
}
#endif

} // namespace depthsort

// Sorts [first, last) into the renderer's order: through the vector scans
// where they apply (farther first over 8-byte records that begin with their
// z), else plainly.
template <typename T, typename Before> void depthSort(T* first, T* last, Before before) {
#if BRAMBLEWISP_SSE2
    if constexpr (depthsort::ZRecord<T> && std::is_same_v<Before, depthsort::FartherFirst>) {
        depthsort::vectorSort(first, last);
        return;
    }
#endif
    depthsort::plainSort(first, last, before);
}

// The same order, the work shared by the pool's workers.
template <typename T, typename Before>
void depthSort(T* first, T* last, Before before, platform::WorkerPool& workers) {
    if (workers.workers() == 1) {
        depthSort(first, last, before);
        return;
    }
#if BRAMBLEWISP_SSE2
    if constexpr (depthsort::ZRecord<T> && std::is_same_v<Before, depthsort::FartherFirst>) {
        depthsort::vectorSharedSort(first, last, workers);
        return;
    }
#endif
    depthsort::plainSharedSort(first, last, before, workers);
}

} // namespace bramblewisp
