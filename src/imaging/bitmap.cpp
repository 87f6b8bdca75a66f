#include "imaging/bitmap.h"

#include <bit>

namespace bramblewisp {

Bitmap::Bitmap(int32_t width, int32_t height)
    : width(width), height(height),
      pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
      rows(static_cast<std::size_t>(height)) {
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = pixels.data() + y * static_cast<std::size_t>(width);
    }
}

float depthAt(const Bitmap& depth, std::size_t index) {
    return std::bit_cast<float>(depth.pixels[index]);
}

void setDepth(Bitmap& depth, std::size_t index, float value) {
    depth.pixels[index] = std::bit_cast<uint32_t>(value);
}

} // namespace bramblewisp
