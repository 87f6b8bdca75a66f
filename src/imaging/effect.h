#pragma once

#include "imaging/bitmap.h"
#include "imaging/canvas.h"

namespace bramblewisp {

// An operation on the whole picture: backgrounds, post effects, text.
class Effect {
  public:
    virtual ~Effect() = default;
    virtual void apply(const Canvas& canvas, Bitmap& image, Bitmap& depth) = 0;
};

} // namespace bramblewisp
