#pragma once

#include <cstdint>
#include <memory>

#include "imaging/bitmap.h"
#include "platform/workerPool.h"

namespace bramblewisp {

// What changes the finished picture, reading the depths drawn into it; the
// workers share it where that leaves every pixel as one thread leaves it.
class PostEffect {
  public:
    virtual ~PostEffect() = default;
    virtual void apply(Bitmap& image, const Bitmap& depth, platform::WorkerPool& workers) const = 0;
    // On this thread alone.
    void apply(Bitmap& image, const Bitmap& depth) const;

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
    using PostEffect::apply;
    // A cell reads depths only and changes itself alone: the rows split freely.
    void apply(Bitmap& image, const Bitmap& depth, platform::WorkerPool& workers) const override;
    bool readsDepth() const override { return true; }

    uint32_t colour;
    float low;            // depth difference at and below which a pixel keeps its colour
    float high;           // depth difference at and above which it takes the full colour
    int32_t distance = 2; // to the neighbours below and to the right
};

// Averages every cell in place with its four neighbours at radius; the
// depths play no part. One thread does it: each cell reads the new value of
// the cell before it in the flat order (its left neighbour, or the last
// cell of the row above for a row's first), so every cell waits for the
// one before and no two can be worked out side by side.
class SmoothEffect : public PostEffect {
  public:
    explicit SmoothEffect(int32_t radius) : radius(radius) {}
    using PostEffect::apply;
    void apply(Bitmap& image, const Bitmap&, platform::WorkerPool&) const override {
        smooth(image);
    }
    void smooth(Bitmap& image) const;

    int32_t radius;
};

// -postfx 1 and 2 select the two outline settings, 3 the smoothing; every
// other value none (0, null).
int32_t selectedPostEffect(int32_t postfx);
std::unique_ptr<PostEffect> createPostEffect(int32_t postfx);

} // namespace bramblewisp
