#pragma once

#include <cstddef>
#include <vector>

#include "imaging/depthSort.h"

namespace bramblewisp {

// The indices of z in the renderer's drawing order, as the plain sort leaves
// them.
inline std::vector<int> plainDepthOrder(const std::vector<float>& z) {
    struct Key {
        float z;
        int index;
    };
    std::vector<Key> keys;
    for (std::size_t i = 0; i < z.size(); ++i) {
        keys.push_back({z[i], static_cast<int>(i)});
    }
    depthsort::plainSort(keys.data(), keys.data() + keys.size(), depthsort::FartherFirst{});
    std::vector<int> order;
    for (const Key& key : keys) {
        order.push_back(key.index);
    }
    return order;
}

} // namespace bramblewisp
