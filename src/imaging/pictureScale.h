#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace bramblewisp {

// A picture of any size is its 800 x 600 picture drawn finer: every length
// that the drawing measures in pixels grows with the factor by which the
// 800 x 600 frame grows to fit the picture. Smaller pictures keep the
// lengths of 800 x 600 (only the stroke jitter yields where the picture is
// too small for it, imaging/renderer.cpp). At 800 x 600 the factor is
// exactly 1 and every rule below gives back the length it was given, so
// those pictures keep their bytes. docs/sizes-and-palettes.md shows why
// each rule is what it is.
struct PictureScale {
    PictureScale(int32_t width, int32_t height)
        : factor(std::max(1.0, std::min(width / 800.0, height / 600.0))) {}

    // The first pixel of the band that one pixel at 800 x 600, `length`
    // pixels from an edge, becomes: the band runs up to start(length + 1).
    int32_t start(int32_t length) const {
        return static_cast<int32_t>(std::floor(length * factor));
    }

    // The stroke jitter, 0 to 7 pixels at 800 x 600, in 256ths of that:
    // the strokes keep their shape.
    int32_t jitterScale() const { return static_cast<int32_t>(std::lround(256.0 * factor)); }

    // How many pixels wide a stroke's lines are: the square root of the
    // factor, rounded. Lines as wide as the factor magnify the 800 x 600
    // strokes into coarse ones; lines of one pixel thin them to threads.
    int32_t lineWidth() const { return static_cast<int32_t>(std::lround(std::sqrt(factor))); }

    // The detail and overflow limits grow with the factor, not with its
    // square: the generations that this adds show finer detail, and the
    // pixel work (count times jitter times width) keeps a 3840 x 2160
    // picture within seconds.
    double detailFactor() const { return factor; }

    // A distance of the post effects (the outline's 2, the smoothing's 1).
    int32_t distance(int32_t length) const {
        return static_cast<int32_t>(std::lround(length * factor));
    }

    // Glyphs grow by whole pixels: never past their share of the picture.
    int32_t textScale() const { return static_cast<int32_t>(factor); }

    double factor;
};

} // namespace bramblewisp
