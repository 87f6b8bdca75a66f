#pragma once

#include <cstddef>
#include <functional>
#include <numeric>
#include <utility>
#include <vector>

namespace bramblewisp {

// The far-to-near order of the renderer, transcribed step by step over
// indices: median of three, the split, recursion into the smaller part, and
// the guarded and unguarded insertion passes. Returns the indices of z in
// drawing order.
inline std::vector<int> referenceDepthOrder(const std::vector<float>& z) {
    std::vector<int> v(z.size());
    std::iota(v.begin(), v.end(), 0);
    const auto before = [&](int a, int b) { return z[a] > z[b]; };
    const auto unguarded = [&](std::size_t m) {
        const int value = v[m];
        for (; before(value, v[m - 1]); --m) {
            v[m] = v[m - 1];
        }
        v[m] = value;
    };
    const auto guarded = [&](std::size_t first, std::size_t last) {
        for (std::size_t m = first + 1; m < last; ++m) {
            if (before(v[m], v[first])) {
                const int value = v[m];
                for (std::size_t k = m; k > first; --k) {
                    v[k] = v[k - 1];
                }
                v[first] = value;
            } else {
                unguarded(m);
            }
        }
    };
    std::function<void(std::size_t, std::size_t)> partition = [&](std::size_t first,
                                                                  std::size_t last) {
        while (last - first > 16) {
            const int x = v[first], y = v[first + (last - first) / 2], w = v[last - 1];
            const int pivot = before(x, y) ? (before(y, w)   ? y
                                              : before(x, w) ? w
                                                             : x)
                                           : (before(x, w)   ? x
                                              : before(y, w) ? w
                                                             : y);
            std::size_t i = first, j = last;
            for (;;) {
                while (before(v[i], pivot)) {
                    ++i;
                }
                --j;
                while (before(pivot, v[j])) {
                    --j;
                }
                if (!(i < j)) {
                    break;
                }
                std::swap(v[i], v[j]);
                ++i;
            }
            if (last - i > i - first) {
                partition(first, i);
                first = i;
            } else {
                partition(i, last);
                last = i;
            }
        }
    };
    if (v.size() <= 16) {
        guarded(0, v.size());
        return v;
    }
    partition(0, v.size());
    guarded(0, 16);
    for (std::size_t m = 16; m < v.size(); ++m) {
        unguarded(m);
    }
    return v;
}

} // namespace bramblewisp
