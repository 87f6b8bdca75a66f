// Any text, position and font size, on pictures of any small size: every
// glyph pixel must land inside both bitmaps (AddressSanitizer watches).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/canvas.h"
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
    static const bool indexBuilt = (buildGlyphIndex(), true);
    (void)indexBuilt;

    Input in{data, size};
    Bitmap font(static_cast<int32_t>(in.take(2) % 640 + 1),
                static_cast<int32_t>(in.take(1) % 80 + 1));
    Bitmap image(static_cast<int32_t>(in.take(1) % 96 + 1),
                 static_cast<int32_t>(in.take(1) % 96 + 1));
    Bitmap depth(image.width, image.height);
    TextOverlay overlay(&font, static_cast<int32_t>(in.take(1) % 32));
    overlay.x = static_cast<int32_t>(in.take(4));
    overlay.y = static_cast<int32_t>(in.take(4));
    overlay.dark = (in.take(1) & 1) != 0;
    overlay.text.assign(reinterpret_cast<const char*>(in.data), in.size);
    for (std::size_t i = 0; i < font.pixels.size(); ++i) {
        font.pixels[i] = static_cast<uint32_t>(i * 2654435761u);
    }
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = static_cast<uint32_t>(i * 40503u);
    }
    const Bitmap::Cells before = image.pixels;
    Canvas canvas;
    overlay.apply(canvas, image, depth);

    // Nothing outside the text's rectangle may change.
    const int64_t right = static_cast<int64_t>(overlay.x) +
                          static_cast<int64_t>(overlay.text.size()) * overlay.cellWidth;
    const int64_t bottom = static_cast<int64_t>(overlay.y) + font.height;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const bool inside = x >= overlay.x && x < right && y >= overlay.y && y < bottom;
            const std::size_t at = static_cast<std::size_t>(y) * image.width + x;
            if (!inside && image.pixels[at] != before[at]) {
                std::abort();
            }
        }
    }
    return 0;
}
