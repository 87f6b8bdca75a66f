#pragma once

#include <cstdint>
#include <memory>

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/palette.h"
#include "platform/workerPool.h"
#include "random/ranmar.h"

namespace bramblewisp {

// What a picture is drawn over: fills every pixel, blending with the
// canvas's table, and leaves every depth far. A depth bitmap without cells
// stands for depths no one reads: fresh memory is dear, so such a picture
// keeps none. The workers share the columns or the rows, each pixel taking
// the blends it takes on one thread.
class Background {
  public:
    virtual ~Background() = default;
    virtual void fill(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                      platform::WorkerPool& workers) = 0;
    // On this thread alone.
    void fill(const Canvas& canvas, Bitmap& image, Bitmap& depth);
};

// The depth every background leaves: nothing drawn here yet.
inline constexpr float kFarDepth = 1000000.0f;

// Fills the picture with one colour and every depth (if any) with kFarDepth.
void clearBackground(Bitmap& image, Bitmap& depth, uint32_t colour);
void clearBackground(Bitmap& image, Bitmap& depth, uint32_t colour, platform::WorkerPool& workers);

// White, or black for a dark run.
uint32_t baseColour(bool dark);

class PlainBackground : public Background {
  public:
    explicit PlainBackground(bool dark) : colour(baseColour(dark)) {}
    using Background::fill;
    void fill(const Canvas& canvas, Bitmap& image, Bitmap& depth,
              platform::WorkerPool& workers) override;

    uint32_t colour;
};

// Sixteen light wavy ribbons down the columns over a grid that crowds toward
// the bottom and right edges. Both wave backgrounds take their colours from
// a palette, and in a picture larger than 800 x 600 their lines are the
// 800 x 600 lines magnified (imaging/pictureScale.h).
class WaveGridBackground : public Background {
  public:
    WaveGridBackground(int32_t seed, bool dark, int32_t palette = 0);
    using Background::fill;
    void fill(const Canvas& canvas, Bitmap& image, Bitmap& depth,
              platform::WorkerPool& workers) override;

    Ranmar random;
    bool dark;
    const Palette* palette;
};

// Six dark wavy ribbons across the rows over two fans of lines.
class WaveFanBackground : public Background {
  public:
    WaveFanBackground(int32_t seed, bool dark, int32_t palette = 0);
    using Background::fill;
    void fill(const Canvas& canvas, Bitmap& image, Bitmap& depth,
              platform::WorkerPool& workers) override;

    Ranmar random;
    bool dark;
    const Palette* palette;
};

// -prefx 0 and 2 select the plain and the fan background; every other value
// the grid (1).
int32_t selectedBackground(int32_t prefx);
std::unique_ptr<Background> createBackground(int32_t prefx, int32_t seed, bool dark,
                                             int32_t palette = 0);

} // namespace bramblewisp
