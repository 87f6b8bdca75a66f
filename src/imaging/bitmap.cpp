#include "imaging/bitmap.h"

namespace bramblewisp {

Bitmap::Bitmap(int32_t width, int32_t height)
    : width(width), height(height),
      pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
      rows(static_cast<std::size_t>(height)) {
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = pixels.data() + y * static_cast<std::size_t>(width);
    }
}

} // namespace bramblewisp
