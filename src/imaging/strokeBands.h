#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/particleBrush.h"
#include "imaging/rowBand.h"
#include "system/vec3.h"

namespace bramblewisp {

// Strokes drawn by several workers at once, each in its own band of rows:
// every worker is given every stroke in the drawing order and draws only the
// pixels in its rows, so each pixel takes the same blends in the same order
// as when one worker draws every stroke whole.

// How many strokes cover each row: a stroke adds one from its top row to its
// bottom row (inclusive). Workers count their strokes apart and add up.
class RowCoverage {
  public:
    explicit RowCoverage(int32_t height = 0) : changes(static_cast<std::size_t>(height) + 1) {}
    void add(StrokeRows rows) {
        ++changes[static_cast<std::size_t>(rows.top)];
        --changes[static_cast<std::size_t>(rows.bottom) + 1];
    }
    void add(const RowCoverage& other);
    // The strokes over each row.
    std::vector<int64_t> perRow() const;

  private:
    std::vector<int32_t> changes; // the count's change from the row before
};

// `count` bands over the rows of `work`, one after another from row 0 to the
// last, each holding about an equal share of the work.
std::vector<RowBand> bandsOfEqualWork(std::span<const int64_t> work, int count);

// Bands are named by one bit each in a 32-bit mask.
inline constexpr int kMostBands = 32;

// For every row, the bit of the band that holds it (bands from
// bandsOfEqualWork); then the bits of the bands that a stroke's rows touch.
class BandBits {
  public:
    BandBits(std::span<const RowBand> bands, int32_t height);
    uint32_t of(StrokeRows rows) const {
        const uint32_t first = bitOfRow[static_cast<std::size_t>(rows.top)];
        const uint32_t last = bitOfRow[static_cast<std::size_t>(rows.bottom)];
        return (last - first) + last; // every bit from first's up to last's
    }

  private:
    std::vector<uint32_t> bitOfRow;
};

// One worker's band: given every stroke in the drawing order, it draws those
// that touch its rows, clipped to them, and steps its own copy of the jitter
// past the others, so each stroke takes the draws it takes when all are
// drawn in one run. Strokes inside the band are drawn whole (four at a time
// where the brush does that).
class BandPainter {
  public:
    BandPainter(const ParticleBrush& brush, RowBand band);

    bool touches(StrokeRows rows) const { return rows.bottom >= band.begin && rows.top < band.end; }
    bool holds(StrokeRows rows) const { return rows.top >= band.begin && rows.bottom < band.end; }
    // The next stroke, which does not touch the band.
    void pass() { passSixteen(jitter); }
    // The next stroke, which may touch it; inside: all its rows lie in the band.
    void draw(const Vec3& a, const Vec3& b, bool inside);
    // Draws the strokes still held back; the band is then complete.
    void finish();

  private:
    const ParticleBrush& brush;
    const RowBand band;
    StrokeJitter jitter;
    // Strokes inside the band, held back to be drawn four at a time.
    Vec3 heldA[4], heldB[4];
    int32_t heldDraws[4][16];
    int held = 0;
};

} // namespace bramblewisp
