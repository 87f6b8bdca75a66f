#pragma once

#include <array>
#include <cassert>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "imaging/particleBrush.h"
#include "imaging/rowBand.h"
#include "platform/prefetch.h"
#include "platform/simd.h"
#include "platform/workerPool.h"
#include "system/vec3.h"

namespace bramblewisp {

// Strokes drawn by several workers at once, each in its own band of rows:
// every worker goes through every stroke in the drawing order and draws only
// the pixels in its rows, so each pixel takes the same blends in the same
// order as when one worker draws every stroke whole.

// How many strokes cover each row: a stroke adds one from its top row to its
// bottom row (inclusive). Workers count their strokes apart and add up.
class RowCoverage {
  public:
    explicit RowCoverage(int32_t height = 0) : changes(static_cast<std::size_t>(height) + 1) {}
    void add(StrokeRows rows) {
        assert(rows.top >= 0 && rows.top <= rows.bottom &&
               static_cast<std::size_t>(rows.bottom) + 1 < changes.size());
        ++changes[static_cast<std::size_t>(rows.top)];
        --changes[static_cast<std::size_t>(rows.bottom) + 1];
    }
    void add(const RowCoverage& other);
    void clear();
    // The strokes over each row.
    std::vector<int64_t> perRow() const;

  private:
    std::vector<int32_t> changes; // the count's change from the row before
};

// One band for each of `shares` (each above 0) over the rows of `work`, one
// after another from row 0 to the last, band k holding about shares[k] /
// (their sum) of the work.
std::vector<RowBand> bandsOfWork(std::span<const int64_t> work, std::span<const int64_t> shares);

// The bands of bandsOfWork over rows whose work is the strokes over each,
// each edge then moved to the row the fewest strokes cover, as long as the
// work above it stays within the smaller of its bands' shares /
// kEdgeSlackDivisor of where it was: a stroke across an edge is set up by
// both bands. A quarter of a share measured best (type 3, whose windows'
// strokes lie close together, draws 3% faster than with a tenth; the others
// alike).
inline constexpr int64_t kEdgeSlackDivisor = 4;
std::vector<RowBand> bandsWithThinEdges(std::span<const int64_t> work,
                                        std::span<const int64_t> shares);

// Strokes per window of drawInBands: enough that a window's strokes spread
// over the picture (the more of them lie near one another, the more cross
// its bands' edges), few enough that three windows stay small beside the
// picture (0.4 MB, 0.7 MB with depths).
inline constexpr std::size_t kStrokeWindow = 6144;

// A stroke's sixteen draws as far as an unscaled jitter reads them (the low
// three bits, jitterOf): the low four bits of draw k in bits 4k to 4k + 3.
inline uint64_t drawNibblesPlain(const int32_t* draws) {
    uint64_t nibbles = 0;
    for (int k = 0; k < 16; ++k) {
        nibbles |= static_cast<uint64_t>(draws[k] & 15) << (4 * k);
    }
    return nibbles;
}
inline void drawsOfNibblesPlain(uint64_t nibbles, int32_t* draws) {
    for (int k = 0; k < 16; ++k) {
        draws[k] = static_cast<int32_t>((nibbles >> (4 * k)) & 15);
    }
}

#if BRAMBLEWISP_SSE2
// The same in the vector unit: every stroke is packed once and unpacked by
// each band that draws it, in a few instructions instead of sixteen shifts.
inline uint64_t drawNibbles(const int32_t* draws) {
    const __m128i low = _mm_set1_epi32(15);
    auto four = [&](int k) { return _mm_and_si128(simd::load(draws + k), low); };
    const __m128i bytes =
        _mm_packus_epi16(_mm_packs_epi32(four(0), four(4)), _mm_packs_epi32(four(8), four(12)));
    // Each byte pair into the low byte of its 16-bit lane, the second on top.
    const __m128i pairs =
        _mm_and_si128(_mm_or_si128(bytes, _mm_srli_epi16(bytes, 4)), _mm_set1_epi16(0xFF));
    uint64_t nibbles;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&nibbles), _mm_packus_epi16(pairs, pairs));
    return nibbles;
}
inline void drawsOfNibbles(uint64_t nibbles, int32_t* draws) {
    const __m128i packed = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&nibbles));
    const __m128i low = _mm_set1_epi8(15);
    const __m128i bytes = _mm_unpacklo_epi8(_mm_and_si128(packed, low),
                                            _mm_and_si128(_mm_srli_epi16(packed, 4), low));
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_unpacklo_epi8(bytes, zero), second = _mm_unpackhi_epi8(bytes, zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(draws), _mm_unpacklo_epi16(first, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(draws + 4), _mm_unpackhi_epi16(first, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(draws + 8), _mm_unpacklo_epi16(second, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(draws + 12), _mm_unpackhi_epi16(second, zero));
}
#else
inline uint64_t drawNibbles(const int32_t* draws) {
    return drawNibblesPlain(draws);
}
inline void drawsOfNibbles(uint64_t nibbles, int32_t* draws) {
    drawsOfNibblesPlain(nibbles, draws);
}
#endif

// A window of strokes of the drawing order made ready for the bands: their
// projected ends, their sixteen jitter draws and the rows of their jittered
// ends. A stroke reads only the low eight bits of each draw (jitterOf), and
// at the usual scale only the low three, so a draw is kept in a byte or in
// four bits; and a stroke that leaves no depths reads of its ends only their
// pixels and the sum of their depths (its shade), so those are kept instead
// of the ends: a stroke takes 24 bytes (36 with depths, 8 more at other
// scales) instead of 92, and every band reads what the other workers made
// ready (four bits a draw instead of a byte took 3 to 5% off two workers'
// runs).
class ReadyStrokes {
  public:
    using Draws = std::array<int32_t, 16>;

    // withDepth: for a brush that keeps depths, which reads the whole ends;
    // lowBitsOnly: for a brush whose jitter is unscaled.
    ReadyStrokes(std::size_t capacity, bool withDepth, bool lowBitsOnly)
        : withDepth(withDepth), lowBitsOnly(lowBitsOnly), a(withDepth ? capacity : 0),
          b(withDepth ? capacity : 0), pixels(withDepth ? 0 : capacity),
          depthSums(withDepth ? 0 : capacity), rows(capacity), nibbles(lowBitsOnly ? capacity : 0),
          draws(lowBitsOnly ? 0 : capacity) {}
    explicit ReadyStrokes(std::size_t capacity, const ParticleBrush& brush)
        : ReadyStrokes(capacity, brush.keepDepth,
                       brush.jitterScale == ParticleBrush::kUnscaledJitter) {}

    void set(std::size_t i, const Vec3& strokeA, const Vec3& strokeB, StrokeRows strokeRows,
             const int32_t* strokeDraws) {
        if (askAhead && i + kAskAhead < rows.size()) {
            askToWrite(i + kAskAhead);
        }
        if (withDepth) {
            a[i] = strokeA;
            b[i] = strokeB;
        } else {
            pixels[i] = {pixelOf(strokeA.x), pixelOf(strokeA.y), pixelOf(strokeB.x),
                         pixelOf(strokeB.y)};
            depthSums[i] = strokeA.z + strokeB.z;
        }
        // Rows and columns stay below 2^15 (the fast walks need it too).
        assert(strokeRows.top >= 0 && strokeRows.bottom < 32768);
        rows[i] = {static_cast<int16_t>(strokeRows.top), static_cast<int16_t>(strokeRows.bottom)};
        if (lowBitsOnly) {
            nibbles[i] = drawNibbles(strokeDraws);
            return;
        }
        for (std::size_t k = 0; k < 16; ++k) {
            draws[i][k] = static_cast<uint8_t>(strokeDraws[k]);
        }
    }
    // Ends that the brush draws exactly as the stroke's own: the same, or,
    // without depths, each end's whole pixels from the centre and the sum
    // of the depths on the first end (the shade adds them first).
    void endsAt(std::size_t i, Vec3& strokeA, Vec3& strokeB) const {
        if (withDepth) {
            strokeA = a[i];
            strokeB = b[i];
            return;
        }
        const std::array<int16_t, 4>& p = pixels[i];
        strokeA = {static_cast<float>(p[0]), static_cast<float>(p[1]), depthSums[i]};
        strokeB = {static_cast<float>(p[2]), static_cast<float>(p[3]), 0.0f};
    }
    // The stroke's draws as far as a stroke reads them.
    Draws drawsAt(std::size_t i) const {
        Draws out;
        if (lowBitsOnly) {
            drawsOfNibbles(nibbles[i], out.data());
            return out;
        }
        for (std::size_t k = 0; k < 16; ++k) {
            out[k] = draws[i][k];
        }
        return out;
    }
    StrokeRows rowsAt(std::size_t i) const { return {rows[i][0], rows[i][1]}; }

  private:
    // Other workers' bands read every window, so when a window is made ready
    // again its lines lie in their caches, and each store would wait for its
    // line in turn: the places of the stroke this far ahead are asked for
    // (on two far-apart cores, 2 to 8% off a run; on one, within 1%).
    static constexpr std::size_t kAskAhead = 32;
    void askToWrite(std::size_t i) {
        if (withDepth) {
            platform::prefetchForWrite(&a[i]);
            platform::prefetchForWrite(&b[i]);
        } else {
            platform::prefetchForWrite(&pixels[i]);
            platform::prefetchForWrite(&depthSums[i]);
        }
        platform::prefetchForWrite(&rows[i]);
        platform::prefetchForWrite(lowBitsOnly ? static_cast<const void*>(&nibbles[i])
                                               : static_cast<const void*>(&draws[i]));
    }

    // A coordinate's whole pixels, as the brush truncates it.
    static int16_t pixelOf(float coordinate) {
        const auto whole = static_cast<int32_t>(coordinate);
        assert(whole > -32768 && whole < 32768);
        return static_cast<int16_t>(whole);
    }

    bool withDepth;
    bool lowBitsOnly;
    bool askAhead = platform::canPrefetchForWrite();
    std::vector<Vec3> a, b;
    std::vector<std::array<int16_t, 4>> pixels; // a's x and y, b's x and y
    std::vector<float> depthSums;
    std::vector<std::array<int16_t, 2>> rows;
    std::vector<uint64_t> nibbles; // drawNibbles
    std::vector<std::array<uint8_t, 16>> draws;
};

// Makes ready a run of neighbouring strokes of a window, in order, with a
// copy of the jitter placed at the run's first stroke.
class StrokeFiller {
  public:
    StrokeFiller(const ParticleBrush& brush, StrokeJitter& jitter, ReadyStrokes& ready,
                 std::size_t first, RowCoverage& coverage)
        : brush(brush), jitter(jitter), ready(ready), next(first), coverage(coverage) {}

    // The next stroke, from a to b (projected).
    void add(const Vec3& a, const Vec3& b) {
        int32_t draws[16];
        takeSixteen(jitter, draws);
        const StrokeRows rows = brush.rowsOf(a, b, draws);
        ready.set(next++, a, b, rows, draws);
        coverage.add(rows);
    }

  private:
    const ParticleBrush& brush;
    StrokeJitter& jitter;
    ReadyStrokes& ready;
    std::size_t next;
    RowCoverage& coverage;
};

// fill(first, end, filler): filler.add for the strokes first to end - 1 of
// the drawing order, in that order.
using StrokeSource = std::function<void(std::size_t first, std::size_t end, StrokeFiller& filler)>;

// Draws the strokes 0 to count - 1 of the drawing order with every worker.
// The strokes go a window at a time: while the workers draw windows, each in
// its band, they make the next ones ready side by side, each a run of a
// window with its own copy of the jitter, skipped to the run's place in the
// stream. A window's bands are cut so that each band's share of the strokes
// over its rows follows how fast it has drawn lately (equal shares at
// first), their edges then moved to thin rows nearby; any cut gives the
// same picture.
// windowSize strokes go in a window (any size gives the same picture).
void drawInBands(const ParticleBrush& brush, std::size_t count, platform::WorkerPool& workers,
                 const StrokeSource& fill, std::size_t windowSize = kStrokeWindow);

// The strokes of a window that touch a band, in order, clipped to it: the
// part of drawInBands that one worker does. Strokes inside the band are drawn
// whole, four at a time where the brush does that.
void drawBand(const ParticleBrush& brush, RowBand band, const ReadyStrokes& ready,
              std::size_t count);

} // namespace bramblewisp
