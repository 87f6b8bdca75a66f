#include "imaging/backgrounds.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "imaging/pictureScale.h"

namespace bramblewisp {

namespace {

// The grid and fan lines, one after another from an edge: the first on the
// edge, each further one a gap further in, the gaps growing 2, 3, 4, ...,
// their strengths fading 8, 7, 7, 6, 6, ... 2, 2 and then staying at 1.
// In a larger picture every line is the band of pixels that its one pixel
// at 800 x 600 becomes.
struct FadingLines {
    int32_t offset = 0; // from the edge, in pixels at 800 x 600
    int32_t gap = 2;
    int32_t n = 16;

    int strength() const { return n / 2; }
    void advance() {
        offset += gap;
        ++gap;
        if (n > 2) {
            --n;
        }
    }

    // Calls line(position, strength) for every pixel of every line that
    // begins at most last pixels from the edge, position being last minus
    // the pixel's distance from the edge, a band's pixels in order from the
    // edge.
    template <typename Line> void draw(const PictureScale& scale, int32_t last, Line line) {
        for (; scale.start(offset) <= last; advance()) {
            const int32_t end = std::min(scale.start(offset + 1), last + 1);
            for (int32_t p = scale.start(offset); p < end; ++p) {
                line(last - p, strength());
            }
        }
    }
};

uint32_t gridColour(const Palette& palette, bool dark) {
    return dark ? palette.gridOnDark : palette.gridOnLight;
}

uint32_t rgb(int32_t red, int32_t green, int32_t blue) {
    return (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) |
           static_cast<uint32_t>(blue);
}

// A curve parameter: the low 16 bits of a draw times 2^-14 (grid) or 2^-13 (fan).
float curveParameter(Ranmar& random, float unit) {
    return static_cast<float>(random.next() % 65536) * unit;
}

// trunc of a double, as the wave formulas take it.
int32_t truncated(double value) {
    return static_cast<int32_t>(value);
}

} // namespace

void clearBackground(Bitmap& image, Bitmap& depth, uint32_t colour) {
    std::fill(image.pixels.begin(), image.pixels.end(), colour);
    std::fill(depth.pixels.begin(), depth.pixels.end(), std::bit_cast<uint32_t>(kFarDepth));
}

uint32_t baseColour(bool dark) {
    return dark ? 0x000000u : 0xFFFFFFu;
}

void PlainBackground::fill(const Canvas&, Bitmap& image, Bitmap& depth) {
    clearBackground(image, depth, colour);
}

WaveGridBackground::WaveGridBackground(int32_t seed, bool dark, int32_t palette)
    : dark(dark), palette(&paletteOf(palette)) {
    random.init(seed, 0);
}

void WaveGridBackground::fill(const Canvas& canvas, Bitmap& image, Bitmap& depth) {
    clearBackground(image, depth, baseColour(dark));
    const int32_t w = image.width;
    const int32_t h = image.height;

    // Sin and cos take double arguments here; the float products inside them
    // are formed in single precision first, as written. The library's double
    // functions may differ by an ulp between platforms: measured over every
    // seed, no pixel of either background changes when any result is off by
    // one ulp, so these stay library calls.
    for (int ribbon = 0; ribbon < 16; ++ribbon) {
        const int32_t red = palette->gridRibbons[0].at(random.next());
        const int32_t green = palette->gridRibbons[1].at(random.next());
        const int32_t blue = palette->gridRibbons[2].at(random.next());
        const uint32_t colour = rgb(red, green, blue);
        const float a = curveParameter(random, 1.0f / 16384.0f);
        const float b = curveParameter(random, 1.0f / 16384.0f);
        const float dt = 1.0f / static_cast<float>(w);
        float t = 0.0f;
        for (int32_t c = 0; c < w; ++c) {
            int32_t y0 = truncated(
                ((std::cos(b + t * a * std::sin(static_cast<double>(b * t))) + 1) * 0.5f) * h);
            int32_t y1 =
                y0 -
                truncated(h * (std::cos(a + t * b * std::sin(static_cast<double>(a * t))) + 1.2f) *
                          (-0.1f));
            y0 = std::clamp(y0, 0, h - 1);
            y1 = std::clamp(y1, 0, h - 1);
            canvas.drawLine(image, c, y0, c, y1, colour, 3);
            t += dt;
        }
    }

    const PictureScale scale(w, h);
    const uint32_t lineColour = gridColour(*palette, dark);
    FadingLines().draw(scale, h - 1, [&](int32_t row, int strength) {
        canvas.drawLine(image, 0, row, w - 1, row, lineColour, strength);
    });
    FadingLines().draw(scale, w - 1, [&](int32_t col, int strength) {
        canvas.drawLine(image, col, 0, col, h - 1, lineColour, strength);
    });
}

WaveFanBackground::WaveFanBackground(int32_t seed, bool dark, int32_t palette)
    : dark(dark), palette(&paletteOf(palette)) {
    random.init(seed, 0);
}

void WaveFanBackground::fill(const Canvas& canvas, Bitmap& image, Bitmap& depth) {
    clearBackground(image, depth, baseColour(dark));
    const int32_t w = image.width;
    const int32_t h = image.height;

    // As with the grid's ribbons: an ulp of the double cos or atan, measured
    // over every seed, changes no pixel.
    for (int ribbon = 0; ribbon < 6; ++ribbon) {
        const int32_t red = palette->fanRibbons[0].at(random.next());
        const int32_t green = palette->fanRibbons[1].at(random.next());
        const int32_t blue = palette->fanRibbons[2].at(random.next());
        const uint32_t colour = rgb(red, green, blue);
        const float a = curveParameter(random, 1.0f / 8192.0f);
        const float b = curveParameter(random, 1.0f / 8192.0f);
        const float dt = 1.0f / static_cast<float>(w); // the width, also down the rows
        float t = 0.0f;
        for (int32_t r = 0; r < h; ++r) {
            int32_t x0 = truncated(
                ((std::cos(b + t * a * std::atan(static_cast<double>(b * t))) + 1) * 0.5f) * w);
            int32_t x1 =
                x0 -
                truncated(w * (std::atan(a + t * b * std::cos(static_cast<double>(a * t))) + 1.2f) *
                          (-0.1f));
            x0 = std::clamp(x0, 0, w - 1);
            x1 = std::clamp(x1, 0, w - 1);
            canvas.drawLine(image, x0, r, x1, r, colour, 4);
            t += dt;
        }
    }

    const PictureScale scale(w, h);
    const uint32_t lineColour = gridColour(*palette, dark);
    FadingLines().draw(scale, h - 1, [&](int32_t r, int strength) {
        canvas.drawLine(image, 0, (3 * h) / 4 - (3 * r) / 4, w - 1, r, lineColour, strength);
    });
    FadingLines().draw(scale, w - 1, [&](int32_t d, int strength) {
        canvas.drawLine(image, w / 4 + d / 2, 0, d, h - 1, lineColour, strength);
    });
}

int32_t selectedBackground(int32_t prefx) {
    return prefx == 0 || prefx == 2 ? prefx : 1;
}

std::unique_ptr<Background> createBackground(int32_t prefx, int32_t seed, bool dark,
                                             int32_t palette) {
    switch (selectedBackground(prefx)) {
    case 0:
        return std::make_unique<PlainBackground>(dark);
    case 2:
        return std::make_unique<WaveFanBackground>(seed, dark, palette);
    default:
        return std::make_unique<WaveGridBackground>(seed, dark, palette);
    }
}

} // namespace bramblewisp
