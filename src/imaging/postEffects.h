#pragma once

#include <cstdint>
#include <memory>

#include "imaging/bitmap.h"

namespace bramblewisp {

// What changes the finished picture, reading the depths drawn into it.
class PostEffect {
  public:
    virtual ~PostEffect() = default;
    virtual void apply(Bitmap& image, const Bitmap& depth) const = 0;

    // Whether apply reads the depths. When it does not, the renderer need
    // not write them: nothing else reads them and they are never saved.
    virtual bool readsDepth() const { return false; }
};

// Shades a pixel toward colour where the depth rises steeply toward its lower
// right: outlines near shapes, or with a negative low, reliefs the picture.
// The distances to the neighbours compared, and the smoothing's radius, are
// those of an 800 x 600 picture, grown with larger pictures
// (imaging/pictureScale.h).
class OutlineEffect : public PostEffect {
  public:
    OutlineEffect(uint32_t colour, float low, float high) : colour(colour), low(low), high(high) {}
    void apply(Bitmap& image, const Bitmap& depth) const override;
    bool readsDepth() const override { return true; }

    uint32_t colour;
    float low;            // depth difference at and below which a pixel keeps its colour
    float high;           // depth difference at and above which it takes the full colour
    int32_t distance = 2; // to the neighbours below and to the right
};

// Averages every cell in place with its four neighbours at radius; the
// depths play no part.
class SmoothEffect : public PostEffect {
  public:
    explicit SmoothEffect(int32_t radius) : radius(radius) {}
    void apply(Bitmap& image, const Bitmap&) const override { smooth(image); }
    void smooth(Bitmap& image) const;

    int32_t radius;
};

// -postfx 1 and 2 select the two outline settings, 3 the smoothing; every
// other value none (0, null).
int32_t selectedPostEffect(int32_t postfx);
std::unique_ptr<PostEffect> createPostEffect(int32_t postfx);

} // namespace bramblewisp
