#include "imaging/particleBrush.h"

#include <algorithm>
#include <cassert>
#include <cstdint>

#include "imaging/fourLines.h"
#include "imaging/lineWalk.h"

namespace bramblewisp {

namespace {

uint32_t rgb(int32_t red, int32_t green, int32_t blue) {
    return (static_cast<uint32_t>(red & 255) << 16) | (static_cast<uint32_t>(green & 255) << 8) |
           static_cast<uint32_t>(blue & 255);
}

// The strengths of a stroke's four jittered lines and of its core line.
int softStrength(bool dark) {
    return dark ? 8 : 12;
}
int coreStrength(bool dark) {
    return dark ? 12 : 16;
}

// The four jittered lines of a stroke, in drawing order: the sign of the
// jitter on each endpoint coordinate. Their colours, paler than the core
// line's, and the core line's colour come from the palette; the core line
// comes last, unjittered.
struct JitteredLine {
    int32_t firstX, firstY, secondX, secondY; // +1 or -1
};
constexpr JitteredLine kJitteredLines[4] = {
    {+1, -1, -1, +1},
    {-1, -1, +1, -1},
    {+1, +1, -1, -1},
    {-1, +1, +1, +1},
};

// The mean depth of the stroke's ends as a shade 0..254, taken modulo 256
// as every channel is (a depth that is not a number gives 0).
int32_t strokeShade(const Vec3& a, const Vec3& b, float depthScale) {
    return static_cast<int32_t>((a.z + b.z) * depthScale * 0.5f) & 255;
}

// A line lineWidth pixels across: copies of the one-pixel line side by side,
// shifted across its major axis and centred on it.
template <typename Draw>
void thickLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t lineWidth, Draw draw) {
    const bool xMajor = std::abs(x0 - x1) >= std::abs(y0 - y1);
    for (int32_t o = -(lineWidth - 1) / 2; o <= lineWidth / 2; ++o) {
        if (xMajor) {
            draw(x0, y0 + o, x1, y1 + o);
        } else {
            draw(x0 + o, y0, x1 + o, y1);
        }
    }
}

#if BRAMBLEWISP_SSE2
// The jitter signs of kJitteredLines as masks over the four lines, lane k for
// line k, all ones where the line subtracts its jitter.
struct SignMasks {
    alignas(16) int32_t firstX[4], firstY[4], secondX[4], secondY[4];
};
constexpr SignMasks signMasks() {
    SignMasks masks{};
    for (int k = 0; k < 4; ++k) {
        masks.firstX[k] = kJitteredLines[k].firstX < 0 ? -1 : 0;
        masks.firstY[k] = kJitteredLines[k].firstY < 0 ? -1 : 0;
        masks.secondX[k] = kJitteredLines[k].secondX < 0 ? -1 : 0;
        masks.secondY[k] = kJitteredLines[k].secondY < 0 ? -1 : 0;
    }
    return masks;
}
constexpr SignMasks kSignMasks = signMasks();

// The ends of a stroke's four jittered lines, lane k for line k.
struct FourEnds {
    __m128i x0, y0, x1, y1;
};

FourEnds jitteredEnds(int32_t ax, int32_t ay, int32_t bx, int32_t by, const int32_t* draws) {
    // Line k takes draws 4k to 4k + 3 as d1 (second endpoint's y), d2 (its
    // x), d3 (first endpoint's y) and d4 (its x): transposed, each d is one
    // vector over the four lines.
    __m128i d1 = simd::load(draws), d2 = simd::load(draws + 4);
    __m128i d3 = simd::load(draws + 8), d4 = simd::load(draws + 12);
    simd::transposeFour(d1, d2, d3, d4);
    const __m128i seven = _mm_set1_epi32(7);
    d1 = _mm_and_si128(d1, seven);
    d2 = _mm_and_si128(d2, seven);
    d3 = _mm_and_si128(d3, seven);
    d4 = _mm_and_si128(d4, seven);
    auto offset = [](int32_t centre, __m128i d, const int32_t* negative) {
        const __m128i mask = simd::load(negative);
        return _mm_add_epi32(_mm_set1_epi32(centre), _mm_sub_epi32(_mm_xor_si128(d, mask), mask));
    };
    return {offset(ax, d4, kSignMasks.firstX), offset(ay, d3, kSignMasks.firstY),
            offset(bx, d2, kSignMasks.secondX), offset(by, d1, kSignMasks.secondY)};
}

#endif

} // namespace

void ParticleBrush::drawParticle(const Vec3& a, const Vec3& b, StrokeJitter& jitter) const {
#if BRAMBLEWISP_SSE2
    // All sixteen draws first, in their order: between pixel stores the
    // generator's state would have to be reloaded for every draw.
    int32_t draws[16];
    jitter.fillSixteen(draws);
    drawDrawn(a, b, draws);
#else
    drawPlain(a, b, jitter);
#endif
}

void ParticleBrush::drawFour(const Vec3* a, const Vec3* b, StrokeJitter& jitter) const {
#if BRAMBLEWISP_SSE2
    if (!keepDepth && !scaled()) {
        // Each stroke's draws just before it is drawn: a fill reads values
        // stored 33 draws back, and fills back to back would stall on those
        // stores (5% of type 3's run).
        int32_t draws[16];
        drawFourWithoutDepth<false>(a, b, [&](int) -> const int32_t* {
            jitter.fillSixteen(draws);
            return draws;
        });
        return;
    }
#endif
    for (int k = 0; k < 4; ++k) {
        drawParticle(a[k], b[k], jitter);
    }
}

void ParticleBrush::drawDrawn(const Vec3& a, const Vec3& b, const int32_t* draws) const {
#if BRAMBLEWISP_SSE2
    const RowBand whole;
    if (scaled()) {
        keepDepth ? scaledStroke<true, false>(a, b, draws, whole)
                  : scaledStroke<false, false>(a, b, draws, whole);
    } else {
        keepDepth ? stroke<true, false>(a, b, draws, whole)
                  : stroke<false, false>(a, b, draws, whole);
    }
#else
    drawPlainInBand(a, b, draws, RowBand{});
#endif
}

void ParticleBrush::drawFourDrawn(const Vec3* a, const Vec3* b, const int32_t* const* draws) const {
#if BRAMBLEWISP_SSE2
    if (!keepDepth && !scaled()) {
        drawFourWithoutDepth<false>(a, b, [draws](int p) { return draws[p]; });
        return;
    }
#endif
    for (int k = 0; k < 4; ++k) {
        drawDrawn(a[k], b[k], draws[k]);
    }
}

void ParticleBrush::drawFourInBand(const Vec3* a, const Vec3* b, const int32_t* const* draws,
                                   RowBand band, unsigned crossing) const {
#if BRAMBLEWISP_SSE2
    if (!keepDepth && !scaled()) {
        auto drawsOf = [draws](int p) { return draws[p]; };
        crossing == 0 ? drawFourWithoutDepth<false>(a, b, drawsOf)
                      : drawFourWithoutDepth<true>(a, b, drawsOf, band, crossing);
        return;
    }
#endif
    for (int k = 0; k < 4; ++k) {
        drawOneInBand(a[k], b[k], draws[k], band, (crossing >> k) & 1);
    }
}

void ParticleBrush::drawInBand(const Vec3& a, const Vec3& b, const int32_t* draws,
                               RowBand band) const {
#if BRAMBLEWISP_SSE2
    if (scaled()) {
        keepDepth ? scaledStroke<true, true>(a, b, draws, band)
                  : scaledStroke<false, true>(a, b, draws, band);
    } else {
        keepDepth ? stroke<true, true>(a, b, draws, band) : stroke<false, true>(a, b, draws, band);
    }
#else
    drawPlainInBand(a, b, draws, band);
#endif
}

template <typename NextDraw, typename Walk>
void ParticleBrush::plainStroke(const Vec3& a, const Vec3& b, NextDraw nextDraw, Walk walk) const {
    const int32_t ax = image.width / 2 + static_cast<int32_t>(a.x);
    const int32_t ay = image.height / 2 - static_cast<int32_t>(a.y);
    const int32_t bx = image.width / 2 + static_cast<int32_t>(b.x);
    const int32_t by = image.height / 2 - static_cast<int32_t>(b.y);
    const int32_t shade = strokeShade(a, b, depthScale);
    const Palette& colours = paletteOf(palette);
    const std::array<ShadeRamp, 3>& ramps = dark ? colours.dark : colours.light;
    auto colour = [&](const std::array<int32_t, 3>& lift) {
        return rgb(ramps[0].at(shade) + lift[0], ramps[1].at(shade) + lift[1],
                   ramps[2].at(shade) + lift[2]);
    };
    auto draw = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t lineColour,
                    int strength) {
        thickLine(x0, y0, x1, y1, lineWidth, [&](int32_t u0, int32_t v0, int32_t u1, int32_t v1) {
            walk(u0, v0, u1, v1, lineColour, strength);
        });
    };
    for (int k = 0; k < 4; ++k) {
        const JitteredLine& line = kJitteredLines[k];
        const int32_t d1 = jitterOf(nextDraw(), jitterScale); // second endpoint's y
        const int32_t d2 = jitterOf(nextDraw(), jitterScale); // second endpoint's x
        const int32_t d3 = jitterOf(nextDraw(), jitterScale); // first endpoint's y
        const int32_t d4 = jitterOf(nextDraw(), jitterScale); // first endpoint's x
        draw(ax + line.firstX * d4, ay + line.firstY * d3, bx + line.secondX * d2,
             by + line.secondY * d1, colour(colours.lifts[k]), softStrength(dark));
    }
    draw(ax, ay, bx, by, colour({0, 0, 0}), coreStrength(dark));
}

void ParticleBrush::drawPlain(const Vec3& a, const Vec3& b, Ranmar& jitter) const {
    plainStroke(
        a, b, [&] { return jitter.next(); },
        [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, int strength) {
            if (keepDepth) {
                lineWalk::plain<true>(canvas, image, x0, y0, x1, y1, colour, strength, &depth, a.z,
                                      b.z);
            } else {
                lineWalk::plain<false>(canvas, image, x0, y0, x1, y1, colour, strength, nullptr,
                                       0.0f, 0.0f);
            }
        });
}

void ParticleBrush::drawPlainInBand(const Vec3& a, const Vec3& b, const int32_t* draws,
                                    RowBand band) const {
    plainStroke(
        a, b, [&] { return *draws++; },
        [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, int strength) {
            if (keepDepth) {
                lineWalk::plainInBand<true>(canvas, image, x0, y0, x1, y1, colour, strength, &depth,
                                            a.z, b.z, band);
            } else {
                lineWalk::plainInBand<false>(canvas, image, x0, y0, x1, y1, colour, strength,
                                             nullptr, 0.0f, 0.0f, band);
            }
        });
}

#if BRAMBLEWISP_SSE2
// What stroke<false> does four times, with everything that depends on the
// particles alone (pixel ends, shade, colours and the set-up of the core
// lines) worked out for the four at once, lane p for particle p, and the
// twenty lines' pixels blended in one loop (PairList).
template <bool inBand, typename DrawsOf>
void ParticleBrush::drawFourWithoutDepth(const Vec3* a, const Vec3* b, DrawsOf drawsOf,
                                         RowBand band, unsigned crossing) const {
    using namespace lineWalk;
    auto lanes = [](float v0, float v1, float v2, float v3) { return _mm_set_ps(v3, v2, v1, v0); };
    const __m128i halfWidth = _mm_set1_epi32(image.width / 2);
    const __m128i halfHeight = _mm_set1_epi32(image.height / 2);
    const __m128i ax =
        _mm_add_epi32(halfWidth, simd::truncate(lanes(a[0].x, a[1].x, a[2].x, a[3].x)));
    const __m128i ay =
        _mm_sub_epi32(halfHeight, simd::truncate(lanes(a[0].y, a[1].y, a[2].y, a[3].y)));
    const __m128i bx =
        _mm_add_epi32(halfWidth, simd::truncate(lanes(b[0].x, b[1].x, b[2].x, b[3].x)));
    const __m128i by =
        _mm_sub_epi32(halfHeight, simd::truncate(lanes(b[0].y, b[1].y, b[2].y, b[3].y)));
    const __m128 zSum =
        _mm_add_ps(lanes(a[0].z, a[1].z, a[2].z, a[3].z), lanes(b[0].z, b[1].z, b[2].z, b[3].z));
    alignas(16) int32_t shades[4];
    simd::store(shades,
                _mm_and_si128(simd::truncate(_mm_mul_ps(_mm_mul_ps(zSum, _mm_set1_ps(depthScale)),
                                                        _mm_set1_ps(0.5f))),
                              _mm_set1_epi32(255)));
    const StrokeColours& table = strokeColours(palette, dark);
    const ShadeColours* colours[4] = {&table[shades[0]], &table[shades[1]], &table[shades[2]],
                                      &table[shades[3]]};
    const __m128i coreColour =
        _mm_set_epi32(static_cast<int>(colours[3]->core), static_cast<int>(colours[2]->core),
                      static_cast<int>(colours[1]->core), static_cast<int>(colours[0]->core));

    const FourLineSetUp coreLines = setUpFourLines(ax, ay, bx, by);
    FourPairedRuns coreRuns;
    storePairedRuns(coreLines, coreRuns);
    alignas(16) int32_t axs[4], ays[4], bxs[4], bys[4];
    simd::store(axs, ax);
    simd::store(ays, ay);
    simd::store(bxs, bx);
    simd::store(bys, by);

    const int soft = softStrength(dark);
    const int core = coreStrength(dark);
    alignas(16) uint32_t coreScaled[4];
    simd::store(coreScaled, scaleFourColours(coreColour, canvas.scaleMultipliers[core]));
    const __m128i coreKeep = channelMultiplier(canvas.scaleMultipliers[31 - core]);
    const __m128i softKeep = channelMultiplier(canvas.scaleMultipliers[31 - soft]);
    assert(image.width < 32768 && image.height < 32768); // the 16-bit index arithmetic
    PairList list(image.pixels.data(), image.width);
    // The core lines' steps in the band, for the strokes across its edges.
    FourPairedRuns coreSpans;
    if constexpr (inBand) {
        storePairedSpans(coreLines, fourStepsInBand(coreLines, band), coreSpans);
    }
    for (int p = 0; p < 4; ++p) {
        const FourEnds ends = jitteredEnds(axs[p], ays[p], bxs[p], bys[p], drawsOf(p));
        const FourLineSetUp softLines = setUpFourLines(ends.x0, ends.y0, ends.x1, ends.y1);
        alignas(16) uint32_t softScaled[4];
        simd::store(softScaled,
                    scaleFourColours(simd::load(colours[p]->soft), canvas.scaleMultipliers[soft]));
        // A stroke across the band's edge: its lines' steps in the band alone.
        bool across = false;
        if constexpr (inBand) {
            across = (crossing >> p) & 1;
        }
        FourPairedRuns softRuns;
        if (across) {
            storePairedSpans(softLines, fourStepsInBand(softLines, band), softRuns);
        } else {
            storePairedRuns(softLines, softRuns);
        }
        for (int k = 0; k < 4; ++k) {
            list.add(softRuns[k], softScaled[k], softKeep);
        }
        list.add(across ? coreSpans[p] : coreRuns[p], coreScaled[p], coreKeep);
    }
    list.walk();
}

// The stroke of drawPlain, its four jittered lines set up together in the
// vector unit; in a band, only the steps of each line in its rows.
template <bool withDepth, bool inBand>
void ParticleBrush::stroke(const Vec3& a, const Vec3& b, const int32_t* draws, RowBand band) const {
    const int32_t ax = image.width / 2 + static_cast<int32_t>(a.x);
    const int32_t ay = image.height / 2 - static_cast<int32_t>(a.y);
    const int32_t bx = image.width / 2 + static_cast<int32_t>(b.x);
    const int32_t by = image.height / 2 - static_cast<int32_t>(b.y);
    const ShadeColours& colours = strokeColours(palette, dark)[strokeShade(a, b, depthScale)];
    Bitmap* depthBitmap = withDepth ? &depth : nullptr;
    const FourEnds ends = jitteredEnds(ax, ay, bx, by, draws);
    if constexpr (inBand) {
        lineWalk::drawFourLinesInBand<withDepth>(canvas, image, ends.x0, ends.y0, ends.x1, ends.y1,
                                                 simd::load(colours.soft), softStrength(dark),
                                                 depthBitmap, a.z, b.z, band);
        lineWalk::fastInBand<withDepth>(canvas, image, ax, ay, bx, by, colours.core,
                                        coreStrength(dark), depthBitmap, a.z, b.z, band);
    } else {
        (void)band;
        lineWalk::drawFourLines<withDepth>(canvas, image, ends.x0, ends.y0, ends.x1, ends.y1,
                                           simd::load(colours.soft), softStrength(dark),
                                           depthBitmap, a.z, b.z);
        lineWalk::fast<withDepth>(canvas, image, ax, ay, bx, by, colours.core, coreStrength(dark),
                                  depthBitmap, a.z, b.z);
    }
}

// drawPlain's stroke for larger pictures: lines are long there, so each is
// simply walked fast, copy by copy.
template <bool withDepth, bool inBand>
void ParticleBrush::scaledStroke(const Vec3& a, const Vec3& b, const int32_t* draws,
                                 RowBand band) const {
    const int32_t ax = image.width / 2 + static_cast<int32_t>(a.x);
    const int32_t ay = image.height / 2 - static_cast<int32_t>(a.y);
    const int32_t bx = image.width / 2 + static_cast<int32_t>(b.x);
    const int32_t by = image.height / 2 - static_cast<int32_t>(b.y);
    const ShadeColours& colours = strokeColours(palette, dark)[strokeShade(a, b, depthScale)];
    Bitmap* depthBitmap = withDepth ? &depth : nullptr;
    auto draw = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, int strength) {
        thickLine(x0, y0, x1, y1, lineWidth, [&](int32_t u0, int32_t v0, int32_t u1, int32_t v1) {
            if constexpr (inBand) {
                lineWalk::fastInBand<withDepth>(canvas, image, u0, v0, u1, v1, colour, strength,
                                                depthBitmap, a.z, b.z, band);
            } else {
                lineWalk::fast<withDepth>(canvas, image, u0, v0, u1, v1, colour, strength,
                                          depthBitmap, a.z, b.z);
            }
        });
    };
    for (int k = 0; k < 4; ++k) {
        const JitteredLine& line = kJitteredLines[k];
        const int32_t* d = draws + 4 * k;
        draw(ax + line.firstX * jitterOf(d[3], jitterScale),
             ay + line.firstY * jitterOf(d[2], jitterScale),
             bx + line.secondX * jitterOf(d[1], jitterScale),
             by + line.secondY * jitterOf(d[0], jitterScale), colours.soft[k], softStrength(dark));
    }
    draw(ax, ay, bx, by, colours.core, coreStrength(dark));
}
#endif

} // namespace bramblewisp
