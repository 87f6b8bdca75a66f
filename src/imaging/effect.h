#pragma once

namespace bramblewisp {

class Bitmap;
class Canvas;

// An operation on the whole picture: backgrounds, post effects, text.
class Effect {
  public:
    virtual ~Effect() = default;
    virtual void apply(const Canvas& canvas, Bitmap& image, Bitmap& depth) = 0;

    // Whether apply reads the depths drawn before it. When the post effect
    // does not, the renderer need not write them: nothing else reads them and
    // they are never saved.
    virtual bool readsDepth() const { return false; }
};

} // namespace bramblewisp
