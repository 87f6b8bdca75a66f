#pragma once

#include <cassert>
#include <cstdint>

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/lineRun.h"
#include "imaging/pairedRun.h"
#include "imaging/rowBand.h"
#include "platform/simd.h"

#if BRAMBLEWISP_SSE2
namespace bramblewisp::lineWalk {

// Four lines of a stroke set up at once in the vector unit. Each one is drawn
// exactly as lineWalk::plain draws it (lineWalk.h).

// op on the lanes of a and b in double precision, truncated back to 32-bit
// integers: exact wherever the results are whole numbers below 2^31.
template <typename Op> inline __m128i throughDouble(__m128i a, __m128i b, Op op) {
    const __m128i aHigh = _mm_shuffle_epi32(a, _MM_SHUFFLE(3, 2, 3, 2));
    const __m128i bHigh = _mm_shuffle_epi32(b, _MM_SHUFFLE(3, 2, 3, 2));
    const __m128d low = op(_mm_cvtepi32_pd(a), _mm_cvtepi32_pd(b));
    const __m128d high = op(_mm_cvtepi32_pd(aHigh), _mm_cvtepi32_pd(bHigh));
    return _mm_unpacklo_epi64(simd::truncate(low), simd::truncate(high));
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
    const __m128i magnitude =
        wholeQuotients(_mm_slli_epi32(minorLength, 16),
                       _mm_sub_epi32(major, _mm_cmpeq_epi32(major, _mm_setzero_si128())));
    return {major, _mm_sub_epi32(_mm_xor_si128(magnitude, flip), flip), fromFirst, xMajor, startX,
            startY};
}

// Four set-up lines ready for the walk from one end, line k's from lane k.
struct FourSingleRuns {
    alignas(16) int32_t major[4];
    alignas(16) int32_t step[4];
    alignas(16) int32_t fromFirst[4];
    alignas(16) int32_t xMajor[4];
    alignas(16) int32_t startX[4];
    alignas(16) int32_t startY[4];

    explicit FourSingleRuns(const FourLineSetUp& lines) {
        simd::store(major, lines.major);
        simd::store(step, lines.step);
        simd::store(fromFirst, lines.fromFirst);
        simd::store(xMajor, lines.xMajor);
        simd::store(startX, lines.startX);
        simd::store(startY, lines.startY);
    }
    LineRun run(int k, int32_t width) const {
        return lineRun(width, startX[k], startY[k], xMajor[k] != 0, step[k], major[k]);
    }
    DepthRamp ramp(int k, float z0, float z1) const {
        return depthRamp(z0, z1, fromFirst[k] & 1, major[k]);
    }
    StepSpan span(int k, RowBand band) const {
        return stepsInBand(startY[k], xMajor[k] != 0, step[k], major[k], band);
    }
};

// Four set-up lines ready for the walk from both ends.
struct FourPairedRuns {
    alignas(16) int32_t ends[4][4];
    alignas(16) int32_t steps[4][4];
    alignas(16) int32_t pairs[4];

    PairedRun operator[](int k) const {
        return {simd::load(ends[k]), simd::load(steps[k]), pairs[k]};
    }
};

// Four walks from both ends into runs, lane k for line k: their front and
// back (row, column) in 16.16 and their row and column steps, the back
// stepping back.
inline void storeFourRuns(__m128i frontRow, __m128i frontColumn, __m128i backRow,
                          __m128i backColumn, __m128i rowStep, __m128i columnStep, __m128i pairs,
                          FourPairedRuns& runs) {
    simd::transposeFour(frontRow, frontColumn, backRow, backColumn);
    simd::store(runs.ends[0], frontRow);
    simd::store(runs.ends[1], frontColumn);
    simd::store(runs.ends[2], backRow);
    simd::store(runs.ends[3], backColumn);
    __m128i backRowStep = _mm_sub_epi32(_mm_setzero_si128(), rowStep);
    __m128i backColumnStep = _mm_sub_epi32(_mm_setzero_si128(), columnStep);
    simd::transposeFour(rowStep, columnStep, backRowStep, backColumnStep);
    simd::store(runs.steps[0], rowStep);
    simd::store(runs.steps[1], columnStep);
    simd::store(runs.steps[2], backRowStep);
    simd::store(runs.steps[3], backColumnStep);
    simd::store(runs.pairs, pairs);
}

inline void storePairedRuns(const FourLineSetUp& lines, FourPairedRuns& runs) {
    const __m128i whole = _mm_set1_epi32(65536);
    const __m128i centre = _mm_set1_epi32(32768);
    // |major * step| <= minor length * 2^16 < 2^31.
    const __m128i majorWhole = _mm_slli_epi32(lines.major, 16);
    const __m128i majorSteps = smallProducts(lines.major, lines.step);
    const __m128i row = _mm_add_epi32(_mm_slli_epi32(lines.startY, 16), centre);
    const __m128i column = _mm_add_epi32(_mm_slli_epi32(lines.startX, 16), centre);
    storeFourRuns(row, column, _mm_add_epi32(row, select(lines.xMajor, majorSteps, majorWhole)),
                  _mm_add_epi32(column, select(lines.xMajor, majorWhole, majorSteps)),
                  select(lines.xMajor, lines.step, whole), select(lines.xMajor, whole, lines.step),
                  _mm_srai_epi32(_mm_add_epi32(lines.major, _mm_set1_epi32(2)), 1), runs);
}

// stepsInBand (lineRun.h) for four set-up lines, lane k for line k, without
// a branch: of a stroke across a band's edge some lines lie inside the band,
// some outside and some across it, at random. The lines lie in a bitmap
// less than 32768 high and the band within its rows, so every term below
// stays in 32 bits; floor(n / d) goes through double precision, exact as
// in wholeQuotients.
struct FourSpans {
    __m128i first;
    __m128i end;
};

inline __m128i floorQuotients(__m128i n, __m128i d) {
    auto floorOf = [](__m128d n2, __m128d d2) {
        const __m128d q = _mm_div_pd(n2, d2);
        const __m128d whole = _mm_cvtepi32_pd(_mm_cvttpd_epi32(q));
        return _mm_cvttpd_epi32(
            _mm_sub_pd(whole, _mm_and_pd(_mm_cmplt_pd(q, whole), _mm_set1_pd(1.0))));
    };
    const __m128i nHigh = _mm_shuffle_epi32(n, _MM_SHUFFLE(3, 2, 3, 2));
    const __m128i dHigh = _mm_shuffle_epi32(d, _MM_SHUFFLE(3, 2, 3, 2));
    return _mm_unpacklo_epi64(floorOf(_mm_cvtepi32_pd(n), _mm_cvtepi32_pd(d)),
                              floorOf(_mm_cvtepi32_pd(nHigh), _mm_cvtepi32_pd(dHigh)));
}

inline __m128i minimum(__m128i a, __m128i b) {
    return select(_mm_cmpgt_epi32(a, b), b, a);
}
inline __m128i maximum(__m128i a, __m128i b) {
    return select(_mm_cmpgt_epi32(a, b), a, b);
}

inline FourSpans fourStepsInBand(const FourLineSetUp& lines, RowBand band) {
    assert(band.begin >= 0 && band.begin <= band.end && band.end < 32768);
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi32(1);
    const __m128i begin = _mm_set1_epi32(band.begin);
    const __m128i bandEnd = _mm_set1_epi32(band.end);
    const __m128i steps = _mm_add_epi32(lines.major, one);
    // A line led by y steps one row at a time from startY.
    const __m128i firstDown = _mm_sub_epi32(begin, lines.startY);
    const __m128i endDown = _mm_sub_epi32(bandEnd, lines.startY);
    // A line led by x is in row floor(a(i) / 2^16), a(i) = start + i * step.
    const __m128i start = _mm_add_epi32(_mm_slli_epi32(lines.startY, 16), _mm_set1_epi32(32768));
    const __m128i below = _mm_sub_epi32(_mm_slli_epi32(begin, 16), start);
    const __m128i above = _mm_sub_epi32(_mm_slli_epi32(bandEnd, 16), start);
    const __m128i rising = _mm_cmpgt_epi32(lines.step, zero);
    const __m128i flat = _mm_cmpeq_epi32(lines.step, zero);
    const __m128i stepLess = _mm_sub_epi32(lines.step, one);
    const __m128i negated = _mm_sub_epi32(zero, lines.step);
    // Rising: floor((below + step - 1) / step); falling: floor(-above / -step) + 1.
    const __m128i n0 = select(rising, _mm_add_epi32(below, stepLess), _mm_sub_epi32(zero, above));
    const __m128i n1 = select(rising, _mm_add_epi32(above, stepLess), _mm_sub_epi32(zero, below));
    const __m128i d = select(rising, lines.step, select(flat, one, negated));
    const __m128i after = _mm_andnot_si128(rising, one);
    __m128i firstAcross = _mm_add_epi32(floorQuotients(n0, d), after);
    __m128i endAcross = _mm_add_epi32(floorQuotients(n1, d), after);
    // A flat line lies in the band whole or not at all.
    const __m128i holds = _mm_andnot_si128(_mm_cmpgt_epi32(begin, lines.startY),
                                           _mm_cmpgt_epi32(bandEnd, lines.startY));
    firstAcross = _mm_andnot_si128(flat, firstAcross);
    endAcross = select(flat, _mm_and_si128(holds, steps), endAcross);
    __m128i first = select(lines.xMajor, firstAcross, firstDown);
    __m128i end = select(lines.xMajor, endAcross, endDown);
    first = minimum(maximum(first, zero), steps);
    end = minimum(maximum(end, first), steps);
    return {first, end};
}

// storePairedRuns for the steps [first, end) of each line alone, from both
// ends of that span: what a band draws of them (no pairs where a span is
// empty).
inline void storePairedSpans(const FourLineSetUp& lines, const FourSpans& spans,
                             FourPairedRuns& runs) {
    const __m128i whole = _mm_set1_epi32(65536);
    const __m128i centre = _mm_set1_epi32(32768);
    const __m128i last = _mm_sub_epi32(spans.end, _mm_set1_epi32(1));
    // After i steps: the leading coordinate has moved i whole pixels, the
    // other i * step.
    auto rowAfter = [&](__m128i i) {
        return select(lines.xMajor, smallProducts(i, lines.step), _mm_slli_epi32(i, 16));
    };
    auto columnAfter = [&](__m128i i) {
        return select(lines.xMajor, _mm_slli_epi32(i, 16), smallProducts(i, lines.step));
    };
    const __m128i row = _mm_add_epi32(_mm_slli_epi32(lines.startY, 16), centre);
    const __m128i column = _mm_add_epi32(_mm_slli_epi32(lines.startX, 16), centre);
    storeFourRuns(
        _mm_add_epi32(row, rowAfter(spans.first)), _mm_add_epi32(column, columnAfter(spans.first)),
        _mm_add_epi32(row, rowAfter(last)), _mm_add_epi32(column, columnAfter(last)),
        select(lines.xMajor, lines.step, whole), select(lines.xMajor, whole, lines.step),
        _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(spans.end, spans.first), _mm_set1_epi32(1)), 1),
        runs);
}

// Four colours scaled by one multiplier; lanes 3 and 7 are the top bytes and
// multiply by zero.
inline __m128i scaleFourColours(__m128i colours, uint16_t multiplier) {
    const __m128i colourMultiplier = channelMultiplier(multiplier);
    const __m128i low =
        simd::scaleBytes(_mm_unpacklo_epi8(colours, _mm_setzero_si128()), colourMultiplier);
    const __m128i high =
        simd::scaleBytes(_mm_unpackhi_epi8(colours, _mm_setzero_si128()), colourMultiplier);
    return _mm_packus_epi16(low, high);
}

// Four lines of one strength, the k-th from (x0[k], y0[k]) to (x1[k], y1[k])
// in colours[k], drawn one after the other exactly as four calls of drawLine
// (depth null) or drawLineDepth would draw them; their set-up goes through
// the vector unit together.
template <bool withDepth>
inline void drawFourLines(const Canvas& canvas, Bitmap& bitmap, __m128i x0, __m128i y0, __m128i x1,
                          __m128i y1, __m128i colours, int strength, Bitmap* depth, float z0,
                          float z1) {
    assert(bitmap.width < 32768 && bitmap.height < 32768); // the 16-bit index arithmetic
    const FourLineSetUp lines = setUpFourLines(x0, y0, x1, y1);
    alignas(16) uint32_t scaled[4];
    simd::store(scaled, scaleFourColours(colours, canvas.scaleMultipliers[strength]));
    const __m128i keep = channelMultiplier(canvas.scaleMultipliers[31 - strength]);
    uint32_t* cells = bitmap.pixels.data();
    if constexpr (withDepth) {
        const FourSingleRuns runs(lines);
        uint32_t* depthCells = depth->pixels.data();
        for (int k = 0; k < 4; ++k) {
            const DepthRamp ramp = runs.ramp(k, z0, z1);
            const uint32_t colour = scaled[k];
            runLine<withDepth>(
                cells, depthCells, runs.run(k, bitmap.width),
                [&](uint32_t old) { return colour + scaleChannels(old, keep); }, ramp.z, ramp.step);
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

// drawFourLines in a band of rows: each line walks only its steps in the
// band.
template <bool withDepth>
inline void drawFourLinesInBand(const Canvas& canvas, Bitmap& bitmap, __m128i x0, __m128i y0,
                                __m128i x1, __m128i y1, __m128i colours, int strength,
                                Bitmap* depth, float z0, float z1, RowBand band) {
    assert(bitmap.width < 32768 && bitmap.height < 32768); // the 16-bit index arithmetic
    const FourSingleRuns runs(setUpFourLines(x0, y0, x1, y1));
    alignas(16) uint32_t scaled[4];
    simd::store(scaled, scaleFourColours(colours, canvas.scaleMultipliers[strength]));
    const __m128i keep = channelMultiplier(canvas.scaleMultipliers[31 - strength]);
    uint32_t* depthCells = withDepth ? depth->pixels.data() : nullptr;
    for (int k = 0; k < 4; ++k) {
        const StepSpan span = runs.span(k, band);
        if (span.first == span.end) {
            continue;
        }
        if constexpr (!withDepth) {
            runLinePaired(bitmap.pixels.data(),
                          pairedRun(runs.startX[k], runs.startY[k], runs.xMajor[k] != 0,
                                    runs.step[k], span.first, span.end),
                          cellIndexWeights(bitmap.width), scaled[k], keep);
            continue;
        }
        const DepthRamp ramp = runs.ramp(k, z0, z1);
        const uint32_t colour = scaled[k];
        runLineSpan<withDepth>(
            bitmap.pixels.data(), depthCells, runs.run(k, bitmap.width),
            [&](uint32_t old) { return colour + scaleChannels(old, keep); }, ramp.z, ramp.step,
            span);
    }
}

} // namespace bramblewisp::lineWalk
#endif
