#include "imaging/postEffects.h"

#include <cstddef>

#include "imaging/canvas.h"
#include "imaging/pictureScale.h"

namespace bramblewisp {

void OutlineEffect::apply(Bitmap& image, const Bitmap& depth) const {
    const float factor = 31.0f / (high - low);
    const std::ptrdiff_t w = image.width;
    const std::ptrdiff_t o = PictureScale(image.width, image.height).distance(distance);
    const std::ptrdiff_t n = (static_cast<std::ptrdiff_t>(image.height) - o) * w - o;
    const auto& table = Canvas::scaleTable;
    const uint32_t red = (colour >> 16) & 255;
    const uint32_t green = (colour >> 8) & 255;
    const uint32_t blue = colour & 255;
    uint32_t* cells = image.pixels.data();

    // The cells form one flat sequence: neighbours to the right of a row's
    // last cells are the first cells of the next row.
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        const std::size_t rowBelow = at + static_cast<std::size_t>(o * w);
        const auto right = static_cast<std::size_t>(o);
        double d = static_cast<double>(depthAt(depth, rowBelow + right)) +
                   static_cast<double>(depthAt(depth, rowBelow)) +
                   static_cast<double>(depthAt(depth, at + right)) -
                   3.0 * static_cast<double>(depthAt(depth, at));
        if (!(d >= low)) { // not-a-number counts as low
            d = low;
        } else if (d > high) {
            d = high;
        }
        const int k = static_cast<int>((d - low) * factor);
        const int keep = 31 - k;
        const uint32_t old = cells[at];
        cells[at] = (static_cast<uint32_t>(table[(old >> 16) & 255][keep] + table[red][k]) << 16) |
                    (static_cast<uint32_t>(table[(old >> 8) & 255][keep] + table[green][k]) << 8) |
                    static_cast<uint32_t>(table[old & 255][keep] + table[blue][k]);
    }
}

void SmoothEffect::smooth(Bitmap& image) const {
    const std::ptrdiff_t w = image.width;
    const std::ptrdiff_t r = PictureScale(image.width, image.height).distance(radius);
    const std::ptrdiff_t n = (static_cast<std::ptrdiff_t>(image.height) - 2 * r) * w - 2 * r;
    if (n <= 0 || r < 0) {
        return;
    }
    auto average = [](uint32_t a, uint32_t b, int shift) {
        return (((a >> shift) & 255) + ((b >> shift) & 255)) >> 1;
    };
    uint32_t* cells = image.pixels.data();
    // In place: left and above already hold their new values.
    for (std::ptrdiff_t i = r * w + r, end = i + n; i < end; ++i) {
        const uint32_t left = cells[i - r];
        const uint32_t right = cells[i + r];
        const uint32_t above = cells[i - r * w];
        const uint32_t below = cells[i + r * w];
        uint32_t result = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const uint32_t h = average(left, right, shift);
            const uint32_t v = average(above, below, shift);
            result |= ((h + v) >> 1) << shift;
        }
        cells[i] = result;
    }
}

int32_t selectedPostEffect(int32_t postfx) {
    return postfx >= 0 && postfx <= 3 ? postfx : 0;
}

std::unique_ptr<PostEffect> createPostEffect(int32_t postfx) {
    switch (selectedPostEffect(postfx)) {
    case 1:
        return std::make_unique<OutlineEffect>(0x28283C, 0.04f, 0.8f);
    case 2:
        return std::make_unique<OutlineEffect>(0x28283C, -0.1f, 0.1f);
    case 3:
        return std::make_unique<SmoothEffect>(1);
    default:
        return nullptr;
    }
}

} // namespace bramblewisp
