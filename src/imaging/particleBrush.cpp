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

// The four jittered lines of a stroke, in drawing order: the sign of the
// jitter on each endpoint coordinate, and how much paler than the stroke's
// grey and blue the line is. The core line comes last, unjittered, in the
// stroke's own colour. Every way of drawing a stroke reads this table.
struct JitteredLine {
    int32_t firstX, firstY, secondX, secondY; // +1 or -1
    int32_t greyLift, blueLift;
};
constexpr JitteredLine kJitteredLines[4] = {
    {+1, -1, -1, +1, 32, 32},
    {-1, -1, +1, -1, 16, 32},
    {+1, +1, -1, -1, 0, 32},
    {-1, +1, +1, +1, 0, 0},
};

// Near strokes are darker in light runs and paler in dark ones.
struct StrokeShade {
    int32_t grey, blue;
};
StrokeShade strokeShade(const Vec3& a, const Vec3& b, float depthScale, bool dark) {
    const int32_t shade = static_cast<int32_t>((a.z + b.z) * depthScale * 0.5f);
    return dark ? StrokeShade{192 - shade / 2, 220 - shade / 2}
                : StrokeShade{shade / 2 + 96, shade / 4 + 160};
}

uint32_t lineColour(const JitteredLine& line, StrokeShade shade) {
    return rgb(shade.grey + line.greyLift, shade.grey + line.greyLift, shade.blue + line.blueLift);
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

// rgb() in four lanes.
__m128i fourRgb(__m128i red, __m128i green, __m128i blue) {
    const __m128i byte = _mm_set1_epi32(255);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(red, byte), 16),
                                     _mm_slli_epi32(_mm_and_si128(green, byte), 8)),
                        _mm_and_si128(blue, byte));
}
#endif

} // namespace

void ParticleBrush::drawParticle(const Vec3& a, const Vec3& b, StrokeJitter& jitter) const {
#if BRAMBLEWISP_SSE2
    if (keepDepth) {
        stroke<true>(a, b, jitter);
    } else {
        stroke<false>(a, b, jitter);
    }
#else
    drawPlain(a, b, jitter);
#endif
}

void ParticleBrush::drawFour(const Vec3* a, const Vec3* b, StrokeJitter& jitter) const {
#if BRAMBLEWISP_SSE2
    if (!keepDepth) {
        drawFourWithoutDepth(a, b, jitter);
        return;
    }
#endif
    for (int k = 0; k < 4; ++k) {
        drawParticle(a[k], b[k], jitter);
    }
}

void ParticleBrush::drawPlain(const Vec3& a, const Vec3& b, Ranmar& jitter) const {
    const int32_t ax = image.width / 2 + static_cast<int32_t>(a.x);
    const int32_t ay = image.height / 2 - static_cast<int32_t>(a.y);
    const int32_t bx = image.width / 2 + static_cast<int32_t>(b.x);
    const int32_t by = image.height / 2 - static_cast<int32_t>(b.y);
    const StrokeShade shade = strokeShade(a, b, depthScale, dark);

    auto draw = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, int strength) {
        if (keepDepth) {
            lineWalk::plain<true>(canvas, image, x0, y0, x1, y1, colour, strength, &depth, a.z,
                                  b.z);
        } else {
            lineWalk::plain<false>(canvas, image, x0, y0, x1, y1, colour, strength, nullptr, 0.0f,
                                   0.0f);
        }
    };
    for (const JitteredLine& line : kJitteredLines) {
        const int32_t d1 = jitter.next() & 7; // second endpoint's y
        const int32_t d2 = jitter.next() & 7; // second endpoint's x
        const int32_t d3 = jitter.next() & 7; // first endpoint's y
        const int32_t d4 = jitter.next() & 7; // first endpoint's x
        draw(ax + line.firstX * d4, ay + line.firstY * d3, bx + line.secondX * d2,
             by + line.secondY * d1, lineColour(line, shade), softStrength(dark));
    }
    draw(ax, ay, bx, by, rgb(shade.grey, shade.grey, shade.blue), coreStrength(dark));
}

#if BRAMBLEWISP_SSE2
// What stroke<false> does four times, with everything that depends on the
// particles alone (pixel ends, shade, colours and the set-up of the core
// lines) worked out for the four at once, lane p for particle p.
void ParticleBrush::drawFourWithoutDepth(const Vec3* a, const Vec3* b, StrokeJitter& jitter) const {
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
    const __m128i shade =
        simd::truncate(_mm_mul_ps(_mm_mul_ps(zSum, _mm_set1_ps(depthScale)), _mm_set1_ps(0.5f)));
    // shade / 2 and shade / 4 truncate toward zero, as integer division does.
    const __m128i sign = _mm_srai_epi32(shade, 31);
    const __m128i half = _mm_srai_epi32(_mm_sub_epi32(shade, sign), 1);
    const __m128i quarter =
        _mm_srai_epi32(_mm_add_epi32(shade, _mm_and_si128(sign, _mm_set1_epi32(3))), 2);
    const __m128i grey =
        dark ? _mm_sub_epi32(_mm_set1_epi32(192), half) : _mm_add_epi32(half, _mm_set1_epi32(96));
    const __m128i blue = dark ? _mm_sub_epi32(_mm_set1_epi32(220), half)
                              : _mm_add_epi32(quarter, _mm_set1_epi32(160));
    const __m128i coreColour = fourRgb(grey, grey, blue);
    // Row k holds line k's colour for the four particles; transposed, row p
    // holds the four line colours of particle p.
    auto colourOf = [&](const JitteredLine& line) {
        const __m128i lineGrey = _mm_add_epi32(grey, _mm_set1_epi32(line.greyLift));
        return fourRgb(lineGrey, lineGrey, _mm_add_epi32(blue, _mm_set1_epi32(line.blueLift)));
    };
    __m128i lineColours[4] = {colourOf(kJitteredLines[0]), colourOf(kJitteredLines[1]),
                              colourOf(kJitteredLines[2]), colourOf(kJitteredLines[3])};
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
        jitter.fillSixteen(draws);
        const FourEnds ends = jitteredEnds(axs[p], ays[p], bxs[p], bys[p], draws);
        drawFourLines<false>(canvas, image, ends.x0, ends.y0, ends.x1, ends.y1, lineColours[p],
                             soft, nullptr, 0.0f, 0.0f);
        drawRun(image, coreRuns[p], coreScaled[p], coreKeep);
    }
}

// The stroke of drawPlain, with the sixteen draws taken at once and the four
// jittered lines set up together in the vector unit.
template <bool withDepth>
void ParticleBrush::stroke(const Vec3& a, const Vec3& b, StrokeJitter& jitter) const {
    const int32_t ax = image.width / 2 + static_cast<int32_t>(a.x);
    const int32_t ay = image.height / 2 - static_cast<int32_t>(a.y);
    const int32_t bx = image.width / 2 + static_cast<int32_t>(b.x);
    const int32_t by = image.height / 2 - static_cast<int32_t>(b.y);
    const StrokeShade shade = strokeShade(a, b, depthScale, dark);

    // All sixteen draws first, in their order: between pixel stores the
    // generator's state would have to be reloaded for every draw.
    int32_t draws[16];
    jitter.fillSixteen(draws);
    const uint32_t colours[4] = {
        lineColour(kJitteredLines[0], shade), lineColour(kJitteredLines[1], shade),
        lineColour(kJitteredLines[2], shade), lineColour(kJitteredLines[3], shade)};
    Bitmap* depthBitmap = withDepth ? &depth : nullptr;
    const FourEnds ends = jitteredEnds(ax, ay, bx, by, draws);
    lineWalk::drawFourLines<withDepth>(canvas, image, ends.x0, ends.y0, ends.x1, ends.y1,
                                       simd::load(colours), softStrength(dark), depthBitmap, a.z,
                                       b.z);
    lineWalk::fast<withDepth>(canvas, image, ax, ay, bx, by,
                              rgb(shade.grey, shade.grey, shade.blue), coreStrength(dark),
                              depthBitmap, a.z, b.z);
}
#endif

} // namespace bramblewisp
