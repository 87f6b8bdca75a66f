#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// Many lines walked as runLinePaired walks them one after another, their
// pairs in one loop (its plain twin: runLinePaired line by line). A line's
// own loop ends after a handful of pairs that varies from line to line, so
// its exit was mispredicted about once a line (5% of a run); one loop over
// every line's pairs exits once. Each line's first eight pairs are noted
// without a branch, whatever its length: the next line's overwrite those
// it does not have.
class PairList {
  public:
    PairList(uint32_t* cells, int32_t width)
        : cells(cells), indexWeights(cellIndexWeights(width)) {}

    // Notes the line's pairs; the lines noted before are walked first when
    // there is no room for it.
    void add(const PairedRun& run, uint32_t colour, __m128i keep) {
        if (run.pairs > kCapacity - kNoted) {
            walk();
            runLinePaired(cells, run, indexWeights, colour, keep);
            return;
        }
        const int32_t noted = std::max(run.pairs, kNoted);
        if (count + noted > kCapacity || lines == kLines) {
            walk();
        }
        colours[lines] = _mm_set1_epi32(static_cast<int>(colour));
        keeps[lines] = keep;
        const uint64_t line = 0x0101010101010101u * static_cast<uint8_t>(lines);
        for (int32_t j = 0; j < noted; j += 8) {
            std::memcpy(lineOf + count + j, &line, 8);
        }
        ++lines;
        const __m128i twoSteps = _mm_add_epi32(run.steps, run.steps);
        __m128i ends = run.ends;
        uint32_t* out = pairCells + 2 * count;
        for (int32_t j = 0; j < noted; j += 2) {
            const __m128i next = _mm_add_epi32(ends, run.steps);
            // The cells of pairs j and j + 1: front, back, front, back. (Kept
            // apart from the line numbers: the WebAssembly toolchain here
            // miscompiled an unpack of these cells with them.)
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out + 2 * j),
                _mm_madd_epi16(_mm_packs_epi32(_mm_srai_epi32(ends, 16), _mm_srai_epi32(next, 16)),
                               indexWeights));
            ends = _mm_add_epi32(ends, twoSteps);
        }
        count += run.pairs;
    }

    // Blends the pairs noted, in order, and empties the list.
    void walk() {
        const __m128i zero = _mm_setzero_si128();
        for (int32_t t = 0; t < count; ++t) {
            const uint32_t a = pairCells[2 * t];
            const uint32_t b = pairCells[2 * t + 1];
            const int32_t line = lineOf[t];
            __m128i pair = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(cells[a])),
                                              _mm_cvtsi32_si128(static_cast<int>(cells[b])));
            pair = simd::scaleBytes(_mm_unpacklo_epi8(pair, zero), keeps[line]);
            pair = _mm_add_epi32(_mm_packus_epi16(pair, pair), colours[line]);
            cells[a] = static_cast<uint32_t>(_mm_cvtsi128_si32(pair));
            cells[b] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(pair, 1)));
        }
        count = 0;
        lines = 0;
    }

  private:
    static constexpr int32_t kNoted = 8;      // most strokes' lines are shorter than 16 cells
    static constexpr int32_t kCapacity = 512; // pairs
    static constexpr int32_t kLines = 32;
    uint32_t* cells;
    __m128i indexWeights;
    int32_t count = 0;
    int32_t lines = 0;
    __m128i colours[kLines];
    __m128i keeps[kLines];
    // Pair t's cells (front, back) and its line. What a line notes past its
    // own pairs may reach one pair, and seven line numbers, past the room.
    alignas(16) uint32_t pairCells[2 * (kCapacity + 1)];
    uint8_t lineOf[kCapacity + 8];
};

// One cell's three channels scaled by a channelMultiplier.
inline uint32_t scaleChannels(uint32_t cell, __m128i multiplier) {
    const __m128i channels =
        _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(cell)), _mm_setzero_si128());
    const __m128i product = simd::scaleBytes(channels, multiplier);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(product, product)));
}

} // namespace bramblewisp::lineWalk
#endif
