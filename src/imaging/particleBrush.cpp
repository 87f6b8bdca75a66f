#include "imaging/particleBrush.h"

#include <cstdint>

namespace bramblewisp {

namespace {

Ranmar startedRanmar() {
    Ranmar r;
    r.init(0, 0);
    return r;
}

uint32_t rgb(int32_t red, int32_t green, int32_t blue) {
    return (static_cast<uint32_t>(red & 255) << 16) | (static_cast<uint32_t>(green & 255) << 8) |
           static_cast<uint32_t>(blue & 255);
}

} // namespace

Ranmar splatRandom = startedRanmar();

void ParticleBrush::drawParticle(const Vec3& a, const Vec3& b) const {
    if (keepDepth) {
        stroke<true>(a, b);
    } else {
        stroke<false>(a, b);
    }
}

template <bool withDepth>
void ParticleBrush::stroke(const Vec3& a, const Vec3& b) const {
    const int32_t ax = image.width / 2 + static_cast<int32_t>(a.x);
    const int32_t ay = image.height / 2 - static_cast<int32_t>(a.y);
    const int32_t bx = image.width / 2 + static_cast<int32_t>(b.x);
    const int32_t by = image.height / 2 - static_cast<int32_t>(b.y);

    // Light runs draw near strokes darker, dark runs draw them paler.
    const int32_t shade = static_cast<int32_t>((a.z + b.z) * depthScale * 0.5f);
    const int32_t grey = dark ? 192 - shade / 2 : shade / 2 + 96;
    const int32_t blue = dark ? 220 - shade / 2 : shade / 4 + 160;
    const int soft = dark ? 8 : 12;
    const int core = dark ? 12 : 16;

    struct Jittered {
        int32_t signX0, signY0, signX1, signY1;
        uint32_t colour;
    };
    const Jittered lines[4] = {
        {+1, -1, -1, +1, rgb(grey + 32, grey + 32, blue + 32)},
        {-1, -1, +1, -1, rgb(grey + 16, grey + 16, blue + 32)},
        {+1, +1, -1, -1, rgb(grey, grey, blue + 32)},
        {-1, +1, +1, +1, rgb(grey, grey, blue)},
    };
    auto line = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, int strength) {
        if constexpr (withDepth) {
            canvas.drawLineDepth(image, x0, y0, x1, y1, colour, strength, depth, a.z, b.z);
        } else {
            canvas.drawLine(image, x0, y0, x1, y1, colour, strength);
        }
    };
    // All sixteen draws first, in their order: between pixel stores the
    // generator's state would have to be reloaded for every draw.
    int32_t draws[16];
    splatRandom.fill<16>(draws);
    for (int k = 0; k < 4; ++k) {
        const Jittered& jitter = lines[k];
        const int32_t d1 = draws[4 * k] & 7;     // second endpoint's y
        const int32_t d2 = draws[4 * k + 1] & 7; // second endpoint's x
        const int32_t d3 = draws[4 * k + 2] & 7; // first endpoint's y
        const int32_t d4 = draws[4 * k + 3] & 7; // first endpoint's x
        line(ax + jitter.signX0 * d4, ay + jitter.signY0 * d3, bx + jitter.signX1 * d2,
             by + jitter.signY1 * d1, jitter.colour, soft);
    }
    line(ax, ay, bx, by, rgb(grey, grey, blue), core);
}

} // namespace bramblewisp
