#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <utility>

namespace bramblewisp {

// The renderer's quicksort, kept exactly: among equal keys its order decides
// which stroke lies on top, so no library sort may stand in for it. Median of
// three, recursion into the smaller part, ranges of 16 or fewer left to a
// final insertion pass.
namespace depthsort {

inline constexpr std::ptrdiff_t kSmallRange = 16;

// Moves *place back while it is before its predecessor. The caller guarantees
// that something in front stops it.
template <typename T, typename Before>
void unguardedInsert(T* place, Before before) {
    T value = std::move(*place);
    T* previous = place - 1;
    while (before(value, *previous)) {
        *place = std::move(*previous);
        place = previous;
        --previous;
    }
    *place = std::move(value);
}

template <typename T, typename Before>
void guardedInsertion(T* first, T* last, Before before) {
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

template <typename T, typename Before>
T* split(T* first, T* last, const T& pivot, Before before) {
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

template <typename T, typename Before>
void partition(T* first, T* last, Before before) {
    while (last - first > kSmallRange) {
        const T pivot =
            medianOfThree(*first, *(first + (last - first) / 2), *(last - 1), before);
        T* cut = split(first, last, pivot, before);
        if (last - cut > cut - first) {
            partition(first, cut, before);
            first = cut;
        } else {
            partition(cut, last, before);
            last = cut;
        }
    }
}

} // namespace depthsort

template <typename T, typename Before>
void depthSort(T* first, T* last, Before before) {
    if (last - first <= depthsort::kSmallRange) {
        depthsort::guardedInsertion(first, last, before);
        return;
    }
    depthsort::partition(first, last, before);
    depthsort::guardedInsertion(first, first + depthsort::kSmallRange, before);
    for (T* i = first + depthsort::kSmallRange; i != last; ++i) {
        depthsort::unguardedInsert(i, before);
    }
}

} // namespace bramblewisp
