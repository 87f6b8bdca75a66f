#include "imaging/particleBrush.h"

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

#if BRAMBLEWISP_SSE2
// The ends of a stroke's four jittered lines, lane k for line k.
struct FourEnds {
    __m128i x0, y0, x1, y1;
};

FourEnds jitteredEnds(int32_t ax, int32_t ay, int32_t bx, int32_t by, const int32_t* draws) {
    // Line k takes draws 4k to 4k + 3 as d1 (second endpoint's y), d2 (its
    // x), d3 (first endpoint's y) and d4 (its x): transposed, each d is one
    // vector over the four lines. The signs of the jitter, per line, as
    // masks (all ones = subtract).
    __m128i d1 = simd::load(draws), d2 = simd::load(draws + 4);
    __m128i d3 = simd::load(draws + 8), d4 = simd::load(draws + 12);
    simd::transposeFour(d1, d2, d3, d4);
    const __m128i seven = _mm_set1_epi32(7);
    d1 = _mm_and_si128(d1, seven);
    d2 = _mm_and_si128(d2, seven);
    d3 = _mm_and_si128(d3, seven);
    d4 = _mm_and_si128(d4, seven);
    auto offset = [](int32_t centre, __m128i d, __m128i negative) {
        return _mm_add_epi32(_mm_set1_epi32(centre),
                             _mm_sub_epi32(_mm_xor_si128(d, negative), negative));
    };
    // _mm_set_epi32 lists lanes from line 4 down to line 1.
    return {
        offset(ax, d4, _mm_set_epi32(-1, 0, -1, 0)), offset(ay, d3, _mm_set_epi32(0, 0, -1, -1)),
        offset(bx, d2, _mm_set_epi32(0, -1, 0, -1)), offset(by, d1, _mm_set_epi32(0, -1, -1, 0))};
}

// rgb() in four lanes.
__m128i fourRgb(__m128i red, __m128i green, __m128i blue) {
    const __m128i byte = _mm_set1_epi32(255);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(red, byte), 16),
                                     _mm_slli_epi32(_mm_and_si128(green, byte), 8)),
                        _mm_and_si128(blue, byte));
}
#endif

} // namespace

RanmarStream splatRandom; // started with (0, 0)

void ParticleBrush::drawParticle(const Vec3& a, const Vec3& b) const {
#if BRAMBLEWISP_SSE2
    if (keepDepth) {
        stroke<true>(a, b);
    } else {
        stroke<false>(a, b);
    }
#else
    drawPlain(a, b, splatRandom);
#endif
}

void ParticleBrush::drawFour(const Vec3* a, const Vec3* b) const {
#if BRAMBLEWISP_SSE2
    if (!keepDepth) {
        drawFourWithoutDepth(a, b);
        return;
    }
#endif
    for (int k = 0; k < 4; ++k) {
        drawParticle(a[k], b[k]);
    }
}

template <typename Random>
void ParticleBrush::drawPlain(const Vec3& a, const Vec3& b, Random& random) const {
    const int32_t ax = image.width / 2 + static_cast<int32_t>(a.x);
    const int32_t ay = image.height / 2 - static_cast<int32_t>(a.y);
    const int32_t bx = image.width / 2 + static_cast<int32_t>(b.x);
    const int32_t by = image.height / 2 - static_cast<int32_t>(b.y);

    // Light runs draw near strokes darker, dark runs draw them paler.
    const int32_t shade = static_cast<int32_t>((a.z + b.z) * depthScale * 0.5f);
    const int32_t grey = dark ? 192 - shade / 2 : shade / 2 + 96;
    const int32_t blue = dark ? 220 - shade / 2 : shade / 4 + 160;
    const int soft = softStrength(dark);

    auto line = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, int strength) {
        if (keepDepth) {
            canvas.drawLineDepth(image, x0, y0, x1, y1, colour, strength, depth, a.z, b.z);
        } else {
            canvas.drawLine(image, x0, y0, x1, y1, colour, strength);
        }
    };
    const uint32_t colours[4] = {rgb(grey + 32, grey + 32, blue + 32),
                                 rgb(grey + 16, grey + 16, blue + 32), rgb(grey, grey, blue + 32),
                                 rgb(grey, grey, blue)};
    // The signs of the jitter of the first endpoint's x and y and the second
    // endpoint's x and y, line by line.
    constexpr int32_t signs[4][4] = {
        {+1, -1, -1, +1}, {-1, -1, +1, -1}, {+1, +1, -1, -1}, {-1, +1, +1, +1}};
    for (int k = 0; k < 4; ++k) {
        const int32_t d1 = random.next() & 7; // second endpoint's y
        const int32_t d2 = random.next() & 7; // second endpoint's x
        const int32_t d3 = random.next() & 7; // first endpoint's y
        const int32_t d4 = random.next() & 7; // first endpoint's x
        line(ax + signs[k][0] * d4, ay + signs[k][1] * d3, bx + signs[k][2] * d2,
             by + signs[k][3] * d1, colours[k], soft);
    }
    line(ax, ay, bx, by, rgb(grey, grey, blue), coreStrength(dark));
}

template void ParticleBrush::drawPlain(const Vec3&, const Vec3&, Ranmar&) const;
template void ParticleBrush::drawPlain(const Vec3&, const Vec3&, RanmarStream&) const;

#if BRAMBLEWISP_SSE2
// What stroke<false> does four times, with everything that depends on the
// particles alone (pixel ends, shade, colours and the set-up of the core
// lines) worked out for the four at once, lane p for particle p.
void ParticleBrush::drawFourWithoutDepth(const Vec3* a, const Vec3* b) const {
    using namespace lineWalk;
    auto lanes = [](float v0, float v1, float v2, float v3) { return _mm_set_ps(v3, v2, v1, v0); };
    const __m128i halfWidth = _mm_set1_epi32(image.width / 2);
    const __m128i halfHeight = _mm_set1_epi32(image.height / 2);
    const __m128i ax =
        _mm_add_epi32(halfWidth, _mm_cvttps_epi32(lanes(a[0].x, a[1].x, a[2].x, a[3].x)));
    const __m128i ay =
        _mm_sub_epi32(halfHeight, _mm_cvttps_epi32(lanes(a[0].y, a[1].y, a[2].y, a[3].y)));
    const __m128i bx =
        _mm_add_epi32(halfWidth, _mm_cvttps_epi32(lanes(b[0].x, b[1].x, b[2].x, b[3].x)));
    const __m128i by =
        _mm_sub_epi32(halfHeight, _mm_cvttps_epi32(lanes(b[0].y, b[1].y, b[2].y, b[3].y)));
    const __m128 zSum =
        _mm_add_ps(lanes(a[0].z, a[1].z, a[2].z, a[3].z), lanes(b[0].z, b[1].z, b[2].z, b[3].z));
    const __m128i shade =
        _mm_cvttps_epi32(_mm_mul_ps(_mm_mul_ps(zSum, _mm_set1_ps(depthScale)), _mm_set1_ps(0.5f)));
    // shade / 2 and shade / 4 truncate toward zero, as integer division does.
    const __m128i sign = _mm_srai_epi32(shade, 31);
    const __m128i half = _mm_srai_epi32(_mm_sub_epi32(shade, sign), 1);
    const __m128i quarter =
        _mm_srai_epi32(_mm_add_epi32(shade, _mm_and_si128(sign, _mm_set1_epi32(3))), 2);
    const __m128i grey =
        dark ? _mm_sub_epi32(_mm_set1_epi32(192), half) : _mm_add_epi32(half, _mm_set1_epi32(96));
    const __m128i blue = dark ? _mm_sub_epi32(_mm_set1_epi32(220), half)
                              : _mm_add_epi32(quarter, _mm_set1_epi32(160));
    const __m128i plus16 = _mm_set1_epi32(16), plus32 = _mm_set1_epi32(32);
    const __m128i greyPlus32 = _mm_add_epi32(grey, plus32),
                  greyPlus16 = _mm_add_epi32(grey, plus16);
    const __m128i bluePlus32 = _mm_add_epi32(blue, plus32);
    const __m128i coreColour = fourRgb(grey, grey, blue); // also the fourth line's
    // Transposed: row p holds the four line colours of particle p.
    __m128i lineColours[4] = {fourRgb(greyPlus32, greyPlus32, bluePlus32),
                              fourRgb(greyPlus16, greyPlus16, bluePlus32),
                              fourRgb(grey, grey, bluePlus32), coreColour};
    simd::transposeFour(lineColours[0], lineColours[1], lineColours[2], lineColours[3]);

    FourPairedRuns coreRuns;
    storePairedRuns(setUpFourLines(ax, ay, bx, by), coreRuns);
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
    for (int p = 0; p < 4; ++p) {
        int32_t draws[16];
        splatRandom.fillSixteen(draws);
        const FourEnds ends = jitteredEnds(axs[p], ays[p], bxs[p], bys[p], draws);
        drawFourLines<false>(canvas, image, ends.x0, ends.y0, ends.x1, ends.y1, lineColours[p],
                             soft, nullptr, 0.0f, 0.0f);
        drawRun(image, coreRuns[p], coreScaled[p], coreKeep);
    }
}

// The stroke of drawPlain, with the sixteen draws taken at once and the four
// jittered lines set up together in the vector unit.
template <bool withDepth> void ParticleBrush::stroke(const Vec3& a, const Vec3& b) const {
    const int32_t ax = image.width / 2 + static_cast<int32_t>(a.x);
    const int32_t ay = image.height / 2 - static_cast<int32_t>(a.y);
    const int32_t bx = image.width / 2 + static_cast<int32_t>(b.x);
    const int32_t by = image.height / 2 - static_cast<int32_t>(b.y);
    const int32_t shade = static_cast<int32_t>((a.z + b.z) * depthScale * 0.5f);
    const int32_t grey = dark ? 192 - shade / 2 : shade / 2 + 96;
    const int32_t blue = dark ? 220 - shade / 2 : shade / 4 + 160;

    // All sixteen draws first, in their order: between pixel stores the
    // generator's state would have to be reloaded for every draw.
    int32_t draws[16];
    splatRandom.fillSixteen(draws);
    const uint32_t colours[4] = {rgb(grey + 32, grey + 32, blue + 32),
                                 rgb(grey + 16, grey + 16, blue + 32), rgb(grey, grey, blue + 32),
                                 rgb(grey, grey, blue)};
    Bitmap* depthBitmap = withDepth ? &depth : nullptr;
    const FourEnds ends = jitteredEnds(ax, ay, bx, by, draws);
    lineWalk::drawFourLines<withDepth>(canvas, image, ends.x0, ends.y0, ends.x1, ends.y1,
                                       simd::load(colours), softStrength(dark), depthBitmap, a.z,
                                       b.z);
    lineWalk::fast<withDepth>(canvas, image, ax, ay, bx, by, rgb(grey, grey, blue),
                              coreStrength(dark), depthBitmap, a.z, b.z);
}
#endif

} // namespace bramblewisp
