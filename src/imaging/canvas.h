#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "platform/simd.h"

#include "imaging/bitmap.h"

namespace bramblewisp {

namespace canvasDetail {
struct PairedRun;
} // namespace canvasDetail

// Translucent drawing: a channel blends as T[source][k] + T[old][31 - k] for
// a strength k in 0..31, through a table of pre-scaled values.
class Canvas {
  public:
    Canvas();

    // Sets the row steps for the bitmap's width; every bitmap drawn on must
    // share it.
    void bind(const Bitmap& bitmap);

    uint8_t blendChannel(uint32_t source, uint32_t old, int strength) const {
        return static_cast<uint8_t>(scaleTable[source][strength] + scaleTable[old][31 - strength]);
    }
    uint32_t blend(uint32_t colour, uint32_t old, int strength) const;

    // A one-pixel line, both endpoints inclusive and inside the bitmap.
    void drawLine(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                  uint32_t colour, int strength) const;

    // The same pixels; also overwrites their depths with z interpolated from
    // z0 at (x0, y0) to z1 at (x1, y1), with no depth test.
    void drawLineDepth(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                       uint32_t colour, int strength, Bitmap& depth, float z0, float z1) const;

    uint8_t scaleTable[256][32]; // T[v][k]: v * k / 31 with a factor just below 1/31
    int32_t stepX[3];            // bytes for a move of -1, 0, +1 columns
    int32_t stepY[3];            // bytes for a move of -1, 0, +1 rows

    // T again, by strength: the 256 values one line needs are contiguous.
    uint8_t scaleColumns[32][256];
    // For every strength k a multiplier m with floor(v * m / 65536) =
    // T[v][k] for every v; the construction checks all 256. It lets one
    // 16-bit multiply scale the three channels of a colour at once.
    uint16_t scaleMultipliers[32];

#if BRAMBLEWISP_SSE2
    // Four lines of one strength, the k-th from (x0[k], y0[k]) to (x1[k],
    // y1[k]) in colours[k], drawn one after the other exactly as four calls of
    // drawLine (depth null) or drawLineDepth would draw them; their set-up
    // goes through the vector unit together.
    template <bool withDepth>
    void drawFourLines(Bitmap& bitmap, __m128i x0, __m128i y0, __m128i x1, __m128i y1,
                       __m128i colours, int strength, Bitmap* depth, float z0, float z1) const;

    // A line set up beforehand (canvasDetail::storePairedRuns), drawn as
    // drawLine draws it, its colour already scaled for the strength
    // (canvasDetail::scaleFourColours) and keep the multiplier of 31 - strength.
    void drawRun(Bitmap& bitmap, const canvasDetail::PairedRun& run, uint32_t scaledColour,
                 __m128i keep) const;
#endif

  private:
    uint16_t findScaleMultiplier(int strength) const;

    template <bool withDepth>
    void walk(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
              int strength, Bitmap* depth, float z0, float z1) const;
};

namespace canvasDetail {

// floor(n / d) for 0 <= n < 2^26 and 0 <= d < kShortLine by one multiply:
// with m = floor(2^37 / d) + 1 the error of n * m / 2^37 stays below 2^-11,
// less than the 1/d that separates n/d from the next whole number. Every line
// needs one such quotient and most lines are short. d = 0 gives 0.
inline constexpr int32_t kShortLine = 1024;

struct Reciprocals {
    constexpr Reciprocals() {
        for (int32_t d = 1; d < kShortLine; ++d) {
            of[d] = ((uint64_t{1} << 37) / static_cast<uint64_t>(d)) + 1;
        }
    }
    uint64_t of[kShortLine]{};
};

inline constexpr Reciprocals kReciprocals{};

inline int32_t fixedPointStep(int32_t minorLength, int32_t major) {
    const int32_t scaled = minorLength * 65536;
    if (major < kShortLine) [[likely]] {
        return static_cast<int32_t>((static_cast<uint64_t>(scaled) * kReciprocals.of[major]) >> 37);
    }
    return scaled / major;
}

inline int32_t absolute(int32_t v) { return v < 0 ? -v : v; }

// The step's magnitude, negated where flip is all ones.
inline int32_t signedStep(int32_t magnitude, int32_t flip) { return (magnitude ^ flip) - flip; }

// Depth in single precision from the walk's start endpoint (the first one
// when fromFirst) to its end, one step per pixel.
struct DepthRamp {
    float z;
    float step;
};

inline DepthRamp depthRamp(float z0, float z1, int fromFirst, int32_t major) {
    const float zs[2] = {z1, z0};
    const float z = zs[fromFirst];
    return {z, (zs[1 - fromFirst] - z) / static_cast<float>(major + (major == 0))};
}

// One line's walk once it is set up: cell of (major i, minor m) = base +
// i * majorStep + m * minorStep, the minor coordinate the accumulator's
// whole part.
struct LineRun {
    std::ptrdiff_t base;
    std::ptrdiff_t majorStep;
    std::ptrdiff_t minorStep;
    int32_t accumulator;
    int32_t step;
    int32_t major;
};

// The walk from its start pixel: the major coordinate advances one whole
// cell per step, the minor one by step in 16.16 from the pixel centre.
inline LineRun lineRun(std::ptrdiff_t width, int32_t startX, int32_t startY, bool xMajor, int32_t step,
                       int32_t major) {
    const int32_t startMinor = xMajor ? startY : startX;
    return {xMajor ? startX : startY * width, xMajor ? 1 : width, xMajor ? width : 1,
            startMinor * 65536 + 32768, step, major};
}

template <bool withDepth, typename Blend>
inline void runLine(uint32_t* cells, uint32_t* depthCells, const LineRun& run, Blend blendCell,
                    float z, float zStep) {
    std::ptrdiff_t lineCell = run.base;
    int32_t accumulator = run.accumulator;
    for (int32_t left = run.major;; --left) {
        const std::ptrdiff_t cell = lineCell + (accumulator >> 16) * run.minorStep;
        cells[cell] = blendCell(cells[cell]);
        if constexpr (withDepth) {
            depthCells[cell] = std::bit_cast<uint32_t>(z);
            z += zStep;
        }
        if (left == 0) {
            break;
        }
        accumulator += run.step;
        lineCell += run.majorStep;
    }
}

#if BRAMBLEWISP_SSE2
// T[v][k] = floor(v * m / 65536) for the strength's multiplier m, so one
// 16-bit multiply scales the three channels of a cell (of two cells side by
// side). The top byte's lane multiplies by 0: bits 24-31 come out zero.
inline __m128i channelMultiplier(uint16_t m) {
    const short v = static_cast<short>(m);
    return _mm_set_epi16(0, v, v, v, 0, v, v, v);
}

// A line walked from both ends at once: the k-th cell from the start goes
// with the k-th from the end, so that a line of odd length ends on its middle
// cell paired with itself. Both ends are kept as 16.16 row and column
// (pixel centres), so that one shift and one 16-bit multiply-add turn them
// into two cell indices: no per-line choice between row and column steps.
struct PairedRun {
    __m128i ends;  // front row, front column, back row, back column
    __m128i steps; // added after every pair: the front moves forward, the back back
    int32_t pairs;
};

// The walk's ends and steps from its start pixel, as the single walk sets it
// up: the major coordinate steps by one whole pixel, the minor one by step.
inline PairedRun pairedRun(int32_t startX, int32_t startY, bool xMajor, int32_t step, int32_t major) {
    const int32_t rowStep = xMajor ? step : 65536;
    const int32_t columnStep = xMajor ? 65536 : step;
    const int32_t row = startY * 65536 + 32768;
    const int32_t column = startX * 65536 + 32768;
    return {_mm_set_epi32(column + major * columnStep, row + major * rowStep, column, row),
            _mm_set_epi32(-columnStep, -rowStep, columnStep, rowStep), (major + 2) >> 1};
}

// The weights that turn a (row, column) pair of 16-bit words into the cell
// index row * width + column.
inline __m128i cellIndexWeights(int32_t width) { return _mm_set1_epi32((1 << 16) | width); }

// The two blends of a pair share one unpack, multiply and pack. Cells of one
// line are distinct, so both loads may come before both stores and their
// order does not matter; the middle cell paired with itself stores the same
// value twice. Rows, columns and the width stay below 2^15.
inline void runLinePaired(uint32_t* cells, const PairedRun& run, __m128i indexWeights, uint32_t colour,
                          __m128i keep) {
    const __m128i colours = _mm_set1_epi32(static_cast<int>(colour));
    __m128i ends = run.ends;
    for (int32_t left = run.pairs; left > 0; --left) {
        const __m128i whole = _mm_srai_epi32(ends, 16);
        const __m128i indices = _mm_madd_epi16(_mm_packs_epi32(whole, whole), indexWeights);
        // Unsigned, as the indices are never negative: no sign extension.
        const auto a = static_cast<uint32_t>(_mm_cvtsi128_si32(indices));
        const auto b = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(indices, 1)));
        __m128i pair = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(cells[a])),
                                          _mm_cvtsi32_si128(static_cast<int>(cells[b])));
        pair = _mm_mulhi_epu16(_mm_unpacklo_epi8(pair, _mm_setzero_si128()), keep);
        pair = _mm_add_epi32(_mm_packus_epi16(pair, pair), colours);
        cells[a] = static_cast<uint32_t>(_mm_cvtsi128_si32(pair));
        cells[b] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(pair, 1)));
        ends = _mm_add_epi32(ends, run.steps);
    }
}

// op on the lanes of a and b in double precision, truncated back to 32-bit
// integers: exact wherever the results are whole numbers below 2^31.
template <typename Op>
inline __m128i throughDouble(__m128i a, __m128i b, Op op) {
    const __m128i aHigh = _mm_shuffle_epi32(a, _MM_SHUFFLE(3, 2, 3, 2));
    const __m128i bHigh = _mm_shuffle_epi32(b, _MM_SHUFFLE(3, 2, 3, 2));
    const __m128d low = op(_mm_cvtepi32_pd(a), _mm_cvtepi32_pd(b));
    const __m128d high = op(_mm_cvtepi32_pd(aHigh), _mm_cvtepi32_pd(bHigh));
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(low), _mm_cvttpd_epi32(high));
}

// floor(n / d) in four lanes for 0 <= n < 2^31 and d >= 1: a quotient that
// is not whole lies at least 1/d from the next whole number, far more than
// the rounding error of the double division, so truncation finds it.
inline __m128i wholeQuotients(__m128i n, __m128i d) {
    return throughDouble(n, d, [](__m128d x, __m128d y) { return _mm_div_pd(x, y); });
}

// a * b in four lanes where every product is below 2^31 in magnitude.
inline __m128i smallProducts(__m128i a, __m128i b) {
    return throughDouble(a, b, [](__m128d x, __m128d y) { return _mm_mul_pd(x, y); });
}

inline uint32_t scaleChannels(uint32_t cell, __m128i multiplier) {
    const __m128i channels =
        _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(cell)), _mm_setzero_si128());
    const __m128i product = _mm_mulhi_epu16(channels, multiplier);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(product, product)));
}
#endif

} // namespace canvasDetail

// The walk visits major length + 1 cells from the endpoint with the smaller
// major coordinate, the minor coordinate in 16.16 fixed point from the pixel
// centre. Written for the short lines that dominate particle strokes: the
// set-up is selects rather than branches, and the colour is pre-scaled once.
template <bool withDepth>
inline void Canvas::walk(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                         uint32_t colour, int strength, Bitmap* depth, float z0,
                         float z1) const {
    using namespace canvasDetail;
    assert(x0 >= 0 && x0 < bitmap.width && x1 >= 0 && x1 < bitmap.width);
    assert(y0 >= 0 && y0 < bitmap.height && y1 >= 0 && y1 < bitmap.height);
    assert(!depth || (depth->width == bitmap.width && depth->height == bitmap.height));
    assert(bitmap.width < 32768 && bitmap.height < 32768); // the 16-bit index arithmetic

    // Which endpoint starts and which axis leads differ from line to line
    // unpredictably, so they pick from two-element tables instead of
    // branching.
    const int32_t deltas[2] = {y1 - y0, x1 - x0};
    const int32_t lengths[2] = {absolute(deltas[0]), absolute(deltas[1])};
    const int xMajor = lengths[1] >= lengths[0];
    const int32_t major = lengths[xMajor];
    // A point has no major direction; it starts (and ends) at the first endpoint.
    const int fromFirst = deltas[xMajor] >= 0;
    const int32_t xs[2] = {x1, x0};
    const int32_t ys[2] = {y1, y0};
    const int32_t startX = xs[fromFirst];
    const int32_t startY = ys[fromFirst];
    const int32_t magnitude = fixedPointStep(lengths[1 - xMajor], major);
    // Negative when the minor coordinate falls from the start to the end.
    const int32_t flip = -static_cast<int32_t>((deltas[1 - xMajor] < 0) == (fromFirst != 0));
    const int32_t step = signedStep(magnitude, flip);
    const LineRun run = lineRun(bitmap.width, startX, startY, xMajor != 0, step, major);
    const DepthRamp ramp = depthRamp(z0, z1, fromFirst, major);

    uint32_t* depthCells = withDepth ? depth->pixels.data() : nullptr;
#if BRAMBLEWISP_SSE2
    // Each channel's two terms stay below 256, so the sums never carry.
    const uint32_t scaled = scaleChannels(colour, channelMultiplier(scaleMultipliers[strength]));
    const __m128i keep = channelMultiplier(scaleMultipliers[31 - strength]);
    if constexpr (withDepth) {
        runLine<withDepth>(
            bitmap.pixels.data(), depthCells, run,
            [&](uint32_t old) { return scaled + scaleChannels(old, keep); }, ramp.z, ramp.step);
    } else {
        runLinePaired(bitmap.pixels.data(), pairedRun(startX, startY, xMajor != 0, step, major),
                      cellIndexWeights(bitmap.width), scaled, keep);
    }
#else
    const uint32_t scaled = (static_cast<uint32_t>(scaleTable[(colour >> 16) & 255][strength]) << 16) |
                            (static_cast<uint32_t>(scaleTable[(colour >> 8) & 255][strength]) << 8) |
                            scaleTable[colour & 255][strength];
    const uint8_t* keep = scaleColumns[31 - strength];
    runLine<withDepth>(
        bitmap.pixels.data(), depthCells, run,
        [&](uint32_t old) {
            return scaled + ((static_cast<uint32_t>(keep[(old >> 16) & 255]) << 16) |
                             (static_cast<uint32_t>(keep[(old >> 8) & 255]) << 8) | keep[old & 255]);
        },
        ramp.z, ramp.step);
#endif
}

#if BRAMBLEWISP_SSE2
namespace canvasDetail {

// Four lines set up together, lane k for line k: the same parameters as the
// single walk's, without a branch or a table.
struct FourLineSetUp {
    __m128i major;
    __m128i step;
    __m128i fromFirst; // all ones where the walk starts at the first endpoint
    __m128i xMajor;    // all ones where x leads
    __m128i startX;
    __m128i startY;
};

inline __m128i select(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

inline FourLineSetUp setUpFourLines(__m128i x0, __m128i y0, __m128i x1, __m128i y1) {
    const __m128i allOnes = _mm_set1_epi32(-1);
    auto absolute = [](__m128i v) {
        const __m128i sign = _mm_srai_epi32(v, 31);
        return _mm_sub_epi32(_mm_xor_si128(v, sign), sign);
    };
    const __m128i dx = _mm_sub_epi32(x1, x0);
    const __m128i dy = _mm_sub_epi32(y1, y0);
    const __m128i lengthX = absolute(dx);
    const __m128i lengthY = absolute(dy);
    const __m128i xMajor = _mm_xor_si128(_mm_cmpgt_epi32(lengthY, lengthX), allOnes);
    const __m128i major = select(xMajor, lengthX, lengthY);
    const __m128i minorLength = select(xMajor, lengthY, lengthX);
    // A point has no major direction; it starts (and ends) at the first endpoint.
    const __m128i fromFirst = _mm_cmpgt_epi32(select(xMajor, dx, dy), allOnes);
    const __m128i startX = select(fromFirst, x0, x1);
    const __m128i startY = select(fromFirst, y0, y1);
    // Negative steps where the minor coordinate falls from the start to the end.
    const __m128i falls = _mm_cmpgt_epi32(_mm_setzero_si128(), select(xMajor, dy, dx));
    const __m128i flip = _mm_xor_si128(_mm_xor_si128(falls, fromFirst), allOnes);
    // A point (major 0) has minor length 0 too: divided by 1 it steps by 0.
    const __m128i magnitude = wholeQuotients(_mm_slli_epi32(minorLength, 16),
                                             _mm_sub_epi32(major, _mm_cmpeq_epi32(major, _mm_setzero_si128())));
    return {major, _mm_sub_epi32(_mm_xor_si128(magnitude, flip), flip), fromFirst, xMajor, startX, startY};
}

// Four set-up lines ready for the walk from both ends.
struct FourPairedRuns {
    alignas(16) int32_t ends[4][4];
    alignas(16) int32_t steps[4][4];
    alignas(16) int32_t pairs[4];

    PairedRun operator[](int k) const { return {simd::load(ends[k]), simd::load(steps[k]), pairs[k]}; }
};

inline void storePairedRuns(const FourLineSetUp& lines, FourPairedRuns& runs) {
    const __m128i whole = _mm_set1_epi32(65536);
    const __m128i centre = _mm_set1_epi32(32768);
    __m128i rowStep = select(lines.xMajor, lines.step, whole);
    __m128i columnStep = select(lines.xMajor, whole, lines.step);
    // |major * step| <= minor length * 2^16 < 2^31.
    const __m128i majorWhole = _mm_slli_epi32(lines.major, 16);
    const __m128i majorSteps = smallProducts(lines.major, lines.step);
    __m128i row = _mm_add_epi32(_mm_slli_epi32(lines.startY, 16), centre);
    __m128i column = _mm_add_epi32(_mm_slli_epi32(lines.startX, 16), centre);
    __m128i backRow = _mm_add_epi32(row, select(lines.xMajor, majorSteps, majorWhole));
    __m128i backColumn = _mm_add_epi32(column, select(lines.xMajor, majorWhole, majorSteps));
    simd::transposeFour(row, column, backRow, backColumn);
    simd::store(runs.ends[0], row);
    simd::store(runs.ends[1], column);
    simd::store(runs.ends[2], backRow);
    simd::store(runs.ends[3], backColumn);
    __m128i backRowStep = _mm_sub_epi32(_mm_setzero_si128(), rowStep);
    __m128i backColumnStep = _mm_sub_epi32(_mm_setzero_si128(), columnStep);
    simd::transposeFour(rowStep, columnStep, backRowStep, backColumnStep);
    simd::store(runs.steps[0], rowStep);
    simd::store(runs.steps[1], columnStep);
    simd::store(runs.steps[2], backRowStep);
    simd::store(runs.steps[3], backColumnStep);
    simd::store(runs.pairs, _mm_srai_epi32(_mm_add_epi32(lines.major, _mm_set1_epi32(2)), 1));
}

// Four colours scaled by one multiplier; lanes 3 and 7 are the top bytes and
// multiply by zero.
inline __m128i scaleFourColours(__m128i colours, uint16_t multiplier) {
    const __m128i colourMultiplier = channelMultiplier(multiplier);
    const __m128i low = _mm_mulhi_epu16(_mm_unpacklo_epi8(colours, _mm_setzero_si128()), colourMultiplier);
    const __m128i high = _mm_mulhi_epu16(_mm_unpackhi_epi8(colours, _mm_setzero_si128()), colourMultiplier);
    return _mm_packus_epi16(low, high);
}

} // namespace canvasDetail

template <bool withDepth>
inline void Canvas::drawFourLines(Bitmap& bitmap, __m128i x0, __m128i y0, __m128i x1, __m128i y1,
                                  __m128i colours, int strength, Bitmap* depth, float z0,
                                  float z1) const {
    using namespace canvasDetail;
    assert(bitmap.width < 32768 && bitmap.height < 32768); // the 16-bit index arithmetic
    const FourLineSetUp lines = setUpFourLines(x0, y0, x1, y1);
    alignas(16) uint32_t scaled[4];
    simd::store(scaled, scaleFourColours(colours, scaleMultipliers[strength]));
    const __m128i keep = channelMultiplier(scaleMultipliers[31 - strength]);
    uint32_t* cells = bitmap.pixels.data();
    if constexpr (withDepth) {
        alignas(16) int32_t majors[4], steps[4], fromFirsts[4], xMajors[4], startXs[4], startYs[4];
        simd::store(majors, lines.major);
        simd::store(steps, lines.step);
        simd::store(fromFirsts, lines.fromFirst);
        simd::store(xMajors, lines.xMajor);
        simd::store(startXs, lines.startX);
        simd::store(startYs, lines.startY);
        uint32_t* depthCells = depth->pixels.data();
        for (int k = 0; k < 4; ++k) {
            const LineRun run = lineRun(bitmap.width, startXs[k], startYs[k], xMajors[k] != 0, steps[k], majors[k]);
            const DepthRamp ramp = depthRamp(z0, z1, fromFirsts[k] & 1, majors[k]);
            const uint32_t colour = scaled[k];
            runLine<withDepth>(
                cells, depthCells, run, [&](uint32_t old) { return colour + scaleChannels(old, keep); },
                ramp.z, ramp.step);
        }
    } else {
        FourPairedRuns runs;
        storePairedRuns(lines, runs);
        // Read once: a store to a cell may, as far as the compiler knows, change the width.
        const __m128i indexWeights = cellIndexWeights(bitmap.width);
        for (int k = 0; k < 4; ++k) {
            runLinePaired(cells, runs[k], indexWeights, scaled[k], keep);
        }
    }
}

inline void Canvas::drawRun(Bitmap& bitmap, const canvasDetail::PairedRun& run, uint32_t scaledColour,
                            __m128i keep) const {
    using namespace canvasDetail;
    runLinePaired(bitmap.pixels.data(), run, cellIndexWeights(bitmap.width), scaledColour, keep);
}
#endif

inline void Canvas::drawLine(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                             uint32_t colour, int strength) const {
    walk<false>(bitmap, x0, y0, x1, y1, colour, strength, nullptr, 0.0f, 0.0f);
}

inline void Canvas::drawLineDepth(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                  uint32_t colour, int strength, Bitmap& depth, float z0,
                                  float z1) const {
    walk<true>(bitmap, x0, y0, x1, y1, colour, strength, &depth, z0, z1);
}

} // namespace bramblewisp
