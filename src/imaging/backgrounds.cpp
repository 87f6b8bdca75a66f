#include "imaging/backgrounds.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "imaging/pictureScale.h"
#include "imaging/rowBand.h"

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

// A ribbon's colour and curve, drawn from the generator before any ribbon
// is drawn, so the workers can share the drawing.
struct Ribbon {
    uint32_t colour;
    float a, b;
};

// The ribbons' running parameter t at step `first`: the sum of that many
// steps, added one at a time as the whole walk adds them.
float stepsSummed(float step, std::ptrdiff_t first) {
    float t = 0.0f;
    for (std::ptrdiff_t k = 0; k < first; ++k) {
        t += step;
    }
    return t;
}

} // namespace

void Background::fill(const Canvas& canvas, Bitmap& image, Bitmap& depth) {
    platform::WorkerPool alone(1);
    fill(canvas, image, depth, alone);
}

void clearBackground(Bitmap& image, Bitmap& depth, uint32_t colour) {
    std::fill(image.pixels.begin(), image.pixels.end(), colour);
    std::fill(depth.pixels.begin(), depth.pixels.end(), std::bit_cast<uint32_t>(kFarDepth));
}

void clearBackground(Bitmap& image, Bitmap& depth, uint32_t colour, platform::WorkerPool& workers) {
    // By rows: the first touch of the picture's pages is shared too.
    const std::ptrdiff_t width = image.width;
    platform::inRuns(workers, image.height, [&](std::ptrdiff_t first, std::ptrdiff_t end) {
        std::fill(image.pixels.begin() + first * width, image.pixels.begin() + end * width, colour);
        if (depth.cellCount() != 0) {
            std::fill(depth.pixels.begin() + first * width, depth.pixels.begin() + end * width,
                      std::bit_cast<uint32_t>(kFarDepth));
        }
    });
}

uint32_t baseColour(bool dark) {
    return dark ? 0x000000u : 0xFFFFFFu;
}

void PlainBackground::fill(const Canvas&, Bitmap& image, Bitmap& depth,
                           platform::WorkerPool& workers) {
    clearBackground(image, depth, colour, workers);
}

WaveGridBackground::WaveGridBackground(int32_t seed, bool dark, int32_t palette)
    : dark(dark), palette(&paletteOf(palette)) {
    random.init(seed, 0);
}

void WaveGridBackground::fill(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                              platform::WorkerPool& workers) {
    clearBackground(image, depth, baseColour(dark), workers);
    const int32_t w = image.width;
    const int32_t h = image.height;
    Ribbon ribbons[16];
    for (Ribbon& ribbon : ribbons) {
        const int32_t red = palette->gridRibbons[0].at(random.next());
        const int32_t green = palette->gridRibbons[1].at(random.next());
        const int32_t blue = palette->gridRibbons[2].at(random.next());
        ribbon.colour = rgb(red, green, blue);
        ribbon.a = curveParameter(random, 1.0f / 16384.0f);
        ribbon.b = curveParameter(random, 1.0f / 16384.0f);
    }
    const PictureScale scale(w, h);
    const uint32_t lineColour = gridColour(*palette, dark);

    // By columns: a ribbon's lines and the vertical grid lines each lie in
    // one column, and a horizontal grid line blends each of its pixels alike
    // wherever it is cut, so every pixel takes its blends in the same order.
    platform::inRuns(workers, w, [&](std::ptrdiff_t firstColumn, std::ptrdiff_t endColumn) {
        const auto first = static_cast<int32_t>(firstColumn);
        const auto end = static_cast<int32_t>(endColumn);
        // Sin and cos take double arguments here; the float products inside
        // them are formed in single precision first, as written. The
        // library's double functions may differ by an ulp between platforms:
        // measured over every seed, no pixel of either background changes
        // when any result is off by one ulp, so these stay library calls.
        for (const Ribbon& ribbon : ribbons) {
            const float a = ribbon.a;
            const float b = ribbon.b;
            const float dt = 1.0f / static_cast<float>(w);
            float t = stepsSummed(dt, first);
            for (int32_t c = first; c < end; ++c) {
                int32_t y0 = truncated(
                    ((std::cos(b + t * a * std::sin(static_cast<double>(b * t))) + 1) * 0.5f) * h);
                int32_t y1 =
                    y0 -
                    truncated(h *
                              (std::cos(a + t * b * std::sin(static_cast<double>(a * t))) + 1.2f) *
                              (-0.1f));
                y0 = std::clamp(y0, 0, h - 1);
                y1 = std::clamp(y1, 0, h - 1);
                canvas.drawLine(image, c, y0, c, y1, ribbon.colour, 3);
                t += dt;
            }
        }
        FadingLines().draw(scale, h - 1, [&](int32_t row, int strength) {
            canvas.drawLine(image, first, row, end - 1, row, lineColour, strength);
        });
        FadingLines().draw(scale, w - 1, [&](int32_t col, int strength) {
            if (col >= first && col < end) {
                canvas.drawLine(image, col, 0, col, h - 1, lineColour, strength);
            }
        });
    });
}

WaveFanBackground::WaveFanBackground(int32_t seed, bool dark, int32_t palette)
    : dark(dark), palette(&paletteOf(palette)) {
    random.init(seed, 0);
}

void WaveFanBackground::fill(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                             platform::WorkerPool& workers) {
    clearBackground(image, depth, baseColour(dark), workers);
    const int32_t w = image.width;
    const int32_t h = image.height;
    Ribbon ribbons[6];
    for (Ribbon& ribbon : ribbons) {
        const int32_t red = palette->fanRibbons[0].at(random.next());
        const int32_t green = palette->fanRibbons[1].at(random.next());
        const int32_t blue = palette->fanRibbons[2].at(random.next());
        ribbon.colour = rgb(red, green, blue);
        ribbon.a = curveParameter(random, 1.0f / 8192.0f);
        ribbon.b = curveParameter(random, 1.0f / 8192.0f);
    }
    const PictureScale scale(w, h);
    const uint32_t lineColour = gridColour(*palette, dark);

    // By rows: a ribbon's lines each lie in one row, and the fan lines are
    // drawn by every run in its band of rows alone, as the whole line
    // leaves them there.
    platform::inRuns(workers, h, [&](std::ptrdiff_t firstRow, std::ptrdiff_t endRow) {
        const auto first = static_cast<int32_t>(firstRow);
        const auto end = static_cast<int32_t>(endRow);
        const bool whole = first == 0 && end == h;
        auto line = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, int strength) {
            if (whole) {
                canvas.drawLine(image, x0, y0, x1, y1, lineColour, strength);
            } else {
                canvas.drawLine(image, x0, y0, x1, y1, lineColour, strength, RowBand{first, end});
            }
        };
        // As with the grid's ribbons: an ulp of the double cos or atan,
        // measured over every seed, changes no pixel.
        for (const Ribbon& ribbon : ribbons) {
            const float a = ribbon.a;
            const float b = ribbon.b;
            const float dt = 1.0f / static_cast<float>(w); // the width, also down the rows
            float t = stepsSummed(dt, first);
            for (int32_t r = first; r < end; ++r) {
                int32_t x0 = truncated(
                    ((std::cos(b + t * a * std::atan(static_cast<double>(b * t))) + 1) * 0.5f) * w);
                int32_t x1 =
                    x0 -
                    truncated(w *
                              (std::atan(a + t * b * std::cos(static_cast<double>(a * t))) + 1.2f) *
                              (-0.1f));
                x0 = std::clamp(x0, 0, w - 1);
                x1 = std::clamp(x1, 0, w - 1);
                canvas.drawLine(image, x0, r, x1, r, ribbon.colour, 4);
                t += dt;
            }
        }
        FadingLines().draw(scale, h - 1, [&](int32_t r, int strength) {
            line(0, (3 * h) / 4 - (3 * r) / 4, w - 1, r, strength);
        });
        FadingLines().draw(scale, w - 1, [&](int32_t d, int strength) {
            line(w / 4 + d / 2, 0, d, h - 1, strength);
        });
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
