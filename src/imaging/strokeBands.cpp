#include "imaging/strokeBands.h"

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

BandPainter::BandPainter(const ParticleBrush& brush, RowBand band)
    : brush(brush), band(band), jitter(startedStrokeJitter()) {}

void BandPainter::draw(const Vec3& a, const Vec3& b, StrokeRows rows) {
    if (rows.top >= band.begin && rows.bottom < band.end) {
        heldA[held] = a;
        heldB[held] = b;
        takeSixteen(jitter, heldDraws[held]);
        if (++held == 4) {
            brush.drawFourDrawn(heldA, heldB, heldDraws);
            held = 0;
        }
        return;
    }
    // Its pixels in the band come after those of the strokes before it.
    finish();
    int32_t draws[16];
    takeSixteen(jitter, draws);
    brush.drawInBand(a, b, draws, band);
}

void BandPainter::finish() {
    for (int k = 0; k < held; ++k) {
        brush.drawDrawn(heldA[k], heldB[k], heldDraws[k]);
    }
    held = 0;
}

} // namespace bramblewisp
