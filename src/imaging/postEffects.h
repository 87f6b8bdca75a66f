#pragma once

#include <cstdint>
#include <memory>

#include "imaging/effect.h"

namespace bramblewisp {

// Shades a pixel toward colour where the depth rises steeply toward its lower
// right: outlines near shapes, or with a negative low, reliefs the picture.
class OutlineEffect : public Effect {
  public:
    OutlineEffect(uint32_t colour, float low, float high) : colour(colour), low(low), high(high) {}
    void apply(const Canvas& canvas, Bitmap& image, Bitmap& depth) override;
    bool readsDepth() const override { return true; }

    uint32_t colour;
    float low;  // depth difference at and below which a pixel keeps its colour
    float high; // depth difference at and above which it takes the full colour
};

// Averages every cell in place with its four neighbours at radius.
class SmoothEffect : public Effect {
  public:
    explicit SmoothEffect(int32_t radius) : radius(radius) {}
    void apply(const Canvas& canvas, Bitmap& image, Bitmap& depth) override;

    int32_t radius;
};

// -postfx 1 and 2 select the two outline settings, 3 the smoothing; every
// other value none (0, null).
int32_t selectedPostEffect(int32_t postfx);
std::unique_ptr<Effect> createPostEffect(int32_t postfx);

} // namespace bramblewisp
