#include "imaging/particleBrush.h"

#include <cstdint>

namespace bramblewisp {

namespace {

uint32_t rgb(int32_t red, int32_t green, int32_t blue) {
    return (static_cast<uint32_t>(red & 255) << 16) | (static_cast<uint32_t>(green & 255) << 8) |
           static_cast<uint32_t>(blue & 255);
}

} // namespace

RanmarStream splatRandom; // started with (0, 0)

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

    // All sixteen draws first, in their order: between pixel stores the
    // generator's state would have to be reloaded for every draw.
    int32_t draws[16];
    splatRandom.fillSixteen(draws);
    const uint32_t colours[4] = {rgb(grey + 32, grey + 32, blue + 32),
                                 rgb(grey + 16, grey + 16, blue + 32), rgb(grey, grey, blue + 32),
                                 rgb(grey, grey, blue)};
    auto line = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, int strength) {
        if constexpr (withDepth) {
            canvas.drawLineDepth(image, x0, y0, x1, y1, colour, strength, depth, a.z, b.z);
        } else {
            canvas.drawLine(image, x0, y0, x1, y1, colour, strength);
        }
    };
#if BRAMBLEWISP_SSE2
    // Line k takes draws 4k to 4k + 3 as d1 (second endpoint's y), d2 (its
    // x), d3 (first endpoint's y) and d4 (its x): transposed, each d is one
    // vector over the four lines. The signs of the jitter, per line, as
    // masks (all ones = subtract).
    const __m128i* rows = reinterpret_cast<const __m128i*>(draws);
    const __m128i r0 = _mm_loadu_si128(rows), r1 = _mm_loadu_si128(rows + 1);
    const __m128i r2 = _mm_loadu_si128(rows + 2), r3 = _mm_loadu_si128(rows + 3);
    const __m128i t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpacklo_epi32(r2, r3);
    const __m128i t2 = _mm_unpackhi_epi32(r0, r1), t3 = _mm_unpackhi_epi32(r2, r3);
    const __m128i seven = _mm_set1_epi32(7);
    const __m128i d1 = _mm_and_si128(_mm_unpacklo_epi64(t0, t1), seven);
    const __m128i d2 = _mm_and_si128(_mm_unpackhi_epi64(t0, t1), seven);
    const __m128i d3 = _mm_and_si128(_mm_unpacklo_epi64(t2, t3), seven);
    const __m128i d4 = _mm_and_si128(_mm_unpackhi_epi64(t2, t3), seven);
    auto offset = [](int32_t centre, __m128i d, __m128i negative) {
        return _mm_add_epi32(_mm_set1_epi32(centre), _mm_sub_epi32(_mm_xor_si128(d, negative), negative));
    };
    // _mm_set_epi32 lists lanes from line 4 down to line 1.
    canvas.drawFourLines<withDepth>(image, offset(ax, d4, _mm_set_epi32(-1, 0, -1, 0)),
                                    offset(ay, d3, _mm_set_epi32(0, 0, -1, -1)),
                                    offset(bx, d2, _mm_set_epi32(0, -1, 0, -1)),
                                    offset(by, d1, _mm_set_epi32(0, -1, -1, 0)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(colours)), soft,
                                    withDepth ? &depth : nullptr, a.z, b.z);
#else
    struct Signs {
        int32_t x0, y0, x1, y1;
    };
    constexpr Signs signs[4] = {{+1, -1, -1, +1}, {-1, -1, +1, -1}, {+1, +1, -1, -1}, {-1, +1, +1, +1}};
    for (int k = 0; k < 4; ++k) {
        const int32_t d1 = draws[4 * k] & 7;     // second endpoint's y
        const int32_t d2 = draws[4 * k + 1] & 7; // second endpoint's x
        const int32_t d3 = draws[4 * k + 2] & 7; // first endpoint's y
        const int32_t d4 = draws[4 * k + 3] & 7; // first endpoint's x
        line(ax + signs[k].x0 * d4, ay + signs[k].y0 * d3, bx + signs[k].x1 * d2, by + signs[k].y1 * d1,
             colours[k], soft);
    }
#endif
    line(ax, ay, bx, by, rgb(grey, grey, blue), core);
}

} // namespace bramblewisp
