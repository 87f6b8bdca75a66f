#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include "platform/largeArray.h"

namespace bramblewisp {

// A rectangle of 32-bit cells, row 0 at the top. Colour cells are
// 0x00RRGGBB; depth cells hold the bits of a float.
class Bitmap {
  public:
    Bitmap(int32_t width, int32_t height);
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    uint32_t* row(int32_t y) { return rows[static_cast<std::size_t>(y)]; }
    const uint32_t* row(int32_t y) const { return rows[static_cast<std::size_t>(y)]; }
    uint32_t& at(int32_t x, int32_t y) { return row(y)[x]; }
    uint32_t at(int32_t x, int32_t y) const { return row(y)[x]; }

    std::size_t cellCount() const { return pixels.size(); }

    const int32_t width;
    const int32_t height;
    using Cells = std::vector<uint32_t, LargeBlockAllocator<uint32_t>>;
    Cells pixels; // row-major, one block
    std::vector<uint32_t*> rows;
};

// Depth cells are floats stored in the 32-bit cells.
inline float depthAt(const Bitmap& depth, std::size_t index) {
    return std::bit_cast<float>(depth.pixels[index]);
}
inline void setDepth(Bitmap& depth, std::size_t index, float value) {
    depth.pixels[index] = std::bit_cast<uint32_t>(value);
}

} // namespace bramblewisp
