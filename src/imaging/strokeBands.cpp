#include "imaging/strokeBands.h"

#include <algorithm>
#include <cassert>

namespace bramblewisp {

void RowCoverage::add(const RowCoverage& other) {
    assert(other.changes.size() == changes.size());
    for (std::size_t row = 0; row < changes.size(); ++row) {
        changes[row] += other.changes[row];
    }
}

std::vector<int64_t> RowCoverage::perRow() const {
    std::vector<int64_t> strokes(changes.size() - 1);
    int64_t count = 0;
    for (std::size_t row = 0; row < strokes.size(); ++row) {
        count += changes[row];
        strokes[row] = count;
    }
    return strokes;
}

std::vector<RowBand> bandsOfEqualWork(std::span<const int64_t> work, int count) {
    assert(count >= 1);
    int64_t total = 0;
    for (const int64_t w : work) {
        total += w;
    }
    const auto rows = static_cast<int32_t>(work.size());
    std::vector<RowBand> bands(static_cast<std::size_t>(count));
    int32_t row = 0;
    int64_t before = 0; // the work of the rows above `row`
    for (int k = 0; k < count; ++k) {
        bands[static_cast<std::size_t>(k)].begin = row;
        // The band ends at the first row at or past its share of the total.
        const int64_t share = total / count * (k + 1) + total % count * (k + 1) / count;
        while (row < rows && (before < share || k == count - 1)) {
            before += work[static_cast<std::size_t>(row)];
            ++row;
        }
        bands[static_cast<std::size_t>(k)].end = row;
    }
    return bands;
}

BandBits::BandBits(std::span<const RowBand> bands, int32_t height)
    : bitOfRow(static_cast<std::size_t>(height)) {
    assert(bands.size() <= kMostBands);
    for (std::size_t k = 0; k < bands.size(); ++k) {
        for (int32_t row = std::max(0, bands[k].begin); row < std::min(height, bands[k].end);
             ++row) {
            bitOfRow[static_cast<std::size_t>(row)] = uint32_t{1} << k;
        }
    }
}

BandPainter::BandPainter(const ParticleBrush& brush, RowBand band)
    : brush(brush), band(band), jitter(startedStrokeJitter()) {}

void BandPainter::draw(const Vec3& a, const Vec3& b, bool inside) {
    int32_t* draws = heldDraws[held];
    takeSixteen(jitter, draws);
    if (!inside) {
        // Its jittered ends tell more closely than the farthest jitter.
        const StrokeRows rows = brush.rowsOf(a, b, draws);
        if (!touches(rows)) {
            return;
        }
        if (!holds(rows)) {
            // Its pixels in the band come after those of the strokes before it.
            int32_t own[16];
            std::copy_n(draws, 16, own);
            finish();
            brush.drawInBand(a, b, own, band);
            return;
        }
    }
    heldA[held] = a;
    heldB[held] = b;
    if (++held == 4) {
        brush.drawFourDrawn(heldA, heldB, heldDraws);
        held = 0;
    }
}

void BandPainter::finish() {
    for (int k = 0; k < held; ++k) {
        brush.drawDrawn(heldA[k], heldB[k], heldDraws[k]);
    }
    held = 0;
}

} // namespace bramblewisp
