// Any text, position and font size, on pictures of any small size: every
// glyph pixel must land inside both bitmaps (AddressSanitizer watches).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/textOverlay.h"

namespace {

struct Input {
    const uint8_t* data;
    std::size_t size;

    uint32_t take(int bytes) {
        uint32_t value = 0;
        for (int i = 0; i < bytes && size > 0; ++i, ++data, --size) {
            value |= static_cast<uint32_t>(*data) << (8 * i);
        }
        return value;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace bramblewisp;
    Input in{data, size};
    Bitmap font(static_cast<int32_t>(in.take(2) % 640 + 1),
                static_cast<int32_t>(in.take(1) % 80 + 1));
    Bitmap image(static_cast<int32_t>(in.take(1) % 96 + 1),
                 static_cast<int32_t>(in.take(1) % 96 + 1));
    const auto cellWidth = static_cast<int32_t>(in.take(1) % 32);
    const auto x = static_cast<int32_t>(in.take(4));
    const auto y = static_cast<int32_t>(in.take(4));
    const bool dark = (in.take(1) & 1) != 0;
    const std::string text(reinterpret_cast<const char*>(in.data), in.size);
    for (std::size_t i = 0; i < font.pixels.size(); ++i) {
        font.pixels[i] = static_cast<uint32_t>(i * 2654435761u);
    }
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = static_cast<uint32_t>(i * 40503u);
    }
    const Bitmap::Cells before = image.pixels;
    drawText(image, font, cellWidth, text, x, y, dark);

    // Nothing outside the text's rectangle may change.
    const int64_t right = static_cast<int64_t>(x) + static_cast<int64_t>(text.size()) * cellWidth;
    const int64_t bottom = static_cast<int64_t>(y) + font.height;
    for (int32_t row = 0; row < image.height; ++row) {
        for (int32_t column = 0; column < image.width; ++column) {
            const bool inside = column >= x && column < right && row >= y && row < bottom;
            const std::size_t at = static_cast<std::size_t>(row) * image.width + column;
            if (!inside && image.pixels[at] != before[at]) {
                std::abort();
            }
        }
    }
    return 0;
}
