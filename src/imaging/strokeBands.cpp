#include "imaging/strokeBands.h"

#include <algorithm>
#include <optional>

#include "random/ranmar.h"

namespace bramblewisp {

namespace {

constexpr std::size_t kWindow = kStrokeWindow;

// The jitter moved past `skip`'s count of draws.
void skipDraws(StrokeJitter& jitter, const RanmarSkip& skip) {
#if BRAMBLEWISP_SSE2
    Ranmar plain = jitter.ranmar();
    skip.apply(plain);
    jitter = StrokeJitter(plain);
#else
    skip.apply(jitter);
#endif
}

// The runs of a window that the parts make ready: part p takes the strokes
// from runStart(p) to runStart(p + 1) - 1 of every window.
std::size_t runStart(int part, int parts) {
    return kWindow * static_cast<std::size_t>(part) / static_cast<std::size_t>(parts);
}

} // namespace

void RowCoverage::add(const RowCoverage& other) {
    assert(other.changes.size() == changes.size());
    for (std::size_t row = 0; row < changes.size(); ++row) {
        changes[row] += other.changes[row];
    }
}

void RowCoverage::clear() {
    std::fill(changes.begin(), changes.end(), 0);
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
        // floor(total * (k + 1) / count), without overflow.
        const int64_t share = total / count * (k + 1) + total % count * (k + 1) / count;
        while (row < rows && (before < share || k == count - 1)) {
            before += work[static_cast<std::size_t>(row)];
            ++row;
        }
        bands[static_cast<std::size_t>(k)].end = row;
    }
    return bands;
}

void drawBand(const ParticleBrush& brush, RowBand band, const ReadyStrokes& ready,
              std::size_t count) {
    Vec3 a[4], b[4];
    const int32_t* draws[4];
    int held = 0;
    auto drawHeld = [&] {
        for (int k = 0; k < held; ++k) {
            brush.drawDrawn(a[k], b[k], draws[k]);
        }
        held = 0;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const StrokeRows rows = ready.rows[i];
        if (rows.bottom < band.begin || rows.top >= band.end) {
            continue;
        }
        if (rows.top < band.begin || rows.bottom >= band.end) {
            // Its pixels in the band come after those of the strokes before it.
            drawHeld();
            brush.drawInBand(ready.a[i], ready.b[i], ready.draws[i].data(), band);
            continue;
        }
        a[held] = ready.a[i];
        b[held] = ready.b[i];
        draws[held] = ready.draws[i].data();
        if (++held == 4) {
            brush.drawFourDrawn(a, b, draws);
            held = 0;
        }
    }
    drawHeld();
}

void drawInBands(const ParticleBrush& brush, std::size_t count, platform::WorkerPool& workers,
                 const StrokeSource& fill) {
    const int parts = workers.workers();
    const std::size_t windows = (count + kWindow - 1) / kWindow;
    const int32_t height = brush.image.height;
    // Two windows: one drawn while the next is made ready.
    ReadyStrokes ready[2] = {ReadyStrokes(kWindow), ReadyStrokes(kWindow)};
    std::vector<RowCoverage> coverage(static_cast<std::size_t>(parts), RowCoverage(height));
    std::vector<RowBand> bands[2];
    // Each part's copy of the jitter, at the next stroke its runs make ready,
    // and the skip from the end of its run in one window to its start in
    // the next (made by the part itself, side by side with the others).
    std::vector<StrokeJitter> jitters(static_cast<std::size_t>(parts), startedStrokeJitter());
    std::vector<std::optional<RanmarSkip>> skips(static_cast<std::size_t>(parts));

    for (std::size_t window = 0; window <= windows; ++window) {
        // Window `window` is made ready while window - 1 is drawn.
        const std::size_t readyFirst = window * kWindow;
        const std::size_t drawnCount =
            window == 0 ? 0 : std::min(kWindow, count - (window - 1) * kWindow);
        workers.run(parts, [&](int part) {
            const auto p = static_cast<std::size_t>(part);
            if (window < windows) {
                StrokeJitter& jitter = jitters[p];
                const std::size_t run = runStart(part, parts);
                const std::size_t runEnd = runStart(part + 1, parts);
                if (window == 0) {
                    if (run > 0) {
                        skipDraws(jitter, RanmarSkip(16 * run));
                    }
                    skips[p].emplace(16 * (kWindow - (runEnd - run)));
                } else {
                    skipDraws(jitter, *skips[p]);
                }
                RowCoverage& covered = coverage[p];
                covered.clear();
                const std::size_t first = std::min(count, readyFirst + run);
                const std::size_t end = std::min(count, readyFirst + runEnd);
                StrokeFiller filler(brush, jitter, ready[window % 2], first - readyFirst, covered);
                if (first < end) {
                    fill(first, end, filler);
                }
            }
            if (window > 0) {
                drawBand(brush, bands[(window - 1) % 2][p], ready[(window - 1) % 2], drawnCount);
            }
        });
        if (window < windows) {
            for (int part = 1; part < parts; ++part) {
                coverage[0].add(coverage[static_cast<std::size_t>(part)]);
            }
            bands[window % 2] = bandsOfEqualWork(coverage[0].perRow(), parts);
        }
    }
}

} // namespace bramblewisp
