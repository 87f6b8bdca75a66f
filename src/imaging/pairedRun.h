#pragma once

#include <cstdint>

#include "platform/simd.h"

#if BRAMBLEWISP_SSE2
namespace bramblewisp::lineWalk {

// The vector unit's part of the fast walks: blending by multiply instead of
// table lookups, and the walk of a line from both ends at once.

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
inline PairedRun pairedRun(int32_t startX, int32_t startY, bool xMajor, int32_t step,
                           int32_t major) {
    const int32_t rowStep = xMajor ? step : 65536;
    const int32_t columnStep = xMajor ? 65536 : step;
    const int32_t row = startY * 65536 + 32768;
    const int32_t column = startX * 65536 + 32768;
    return {_mm_set_epi32(column + major * columnStep, row + major * rowStep, column, row),
            _mm_set_epi32(-columnStep, -rowStep, columnStep, rowStep), (major + 2) >> 1};
}

// The same walk's steps first to end - 1 alone (end > first), from both ends
// of that span: what a band of rows draws of a line.
inline PairedRun pairedRun(int32_t startX, int32_t startY, bool xMajor, int32_t step, int32_t first,
                           int32_t end) {
    const int32_t rowStep = xMajor ? step : 65536;
    const int32_t columnStep = xMajor ? 65536 : step;
    const int32_t row = startY * 65536 + 32768;
    const int32_t column = startX * 65536 + 32768;
    const int32_t last = end - 1;
    return {_mm_set_epi32(column + last * columnStep, row + last * rowStep,
                          column + first * columnStep, row + first * rowStep),
            _mm_set_epi32(-columnStep, -rowStep, columnStep, rowStep), (end - first + 1) >> 1};
}

// The weights that turn a (row, column) pair of 16-bit words into the cell
// index row * width + column.
inline __m128i cellIndexWeights(int32_t width) {
    return _mm_set1_epi32((1 << 16) | width);
}

// The two blends of a pair share one unpack, multiply and pack. Cells of one
// line are distinct, so both loads may come before both stores and their
// order does not matter; the middle cell paired with itself stores the same
// value twice. Rows, columns and the width stay below 2^15.
inline void runLinePaired(uint32_t* cells, const PairedRun& run, __m128i indexWeights,
                          uint32_t colour, __m128i keep) {
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
        pair = simd::scaleBytes(_mm_unpacklo_epi8(pair, _mm_setzero_si128()), keep);
        pair = _mm_add_epi32(_mm_packus_epi16(pair, pair), colours);
        cells[a] = static_cast<uint32_t>(_mm_cvtsi128_si32(pair));
        cells[b] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(pair, 1)));
        ends = _mm_add_epi32(ends, run.steps);
    }
}

// One cell's three channels scaled by a channelMultiplier.
inline uint32_t scaleChannels(uint32_t cell, __m128i multiplier) {
    const __m128i channels =
        _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(cell)), _mm_setzero_si128());
    const __m128i product = simd::scaleBytes(channels, multiplier);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(product, product)));
}

} // namespace bramblewisp::lineWalk
#endif
