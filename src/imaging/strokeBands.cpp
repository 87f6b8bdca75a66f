#include "imaging/strokeBands.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>

#include "random/ranmar.h"

namespace bramblewisp {

namespace {

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

namespace {

// floor(total * part / whole) without overflow, for part <= whole.
int64_t shareOf(int64_t total, int64_t part, int64_t whole) {
    return total / whole * part + total % whole * part / whole;
}

} // namespace

std::vector<RowBand> bandsOfWork(std::span<const int64_t> work, std::span<const int64_t> shares) {
    assert(!shares.empty() &&
           std::all_of(shares.begin(), shares.end(), [](int64_t share) { return share > 0; }));
    const int64_t total = std::accumulate(work.begin(), work.end(), int64_t{0});
    const int64_t whole = std::accumulate(shares.begin(), shares.end(), int64_t{0});
    const auto rows = static_cast<int32_t>(work.size());
    std::vector<RowBand> bands(shares.size());
    int32_t row = 0;
    int64_t before = 0; // the work of the rows above `row`
    int64_t sharesSoFar = 0;
    for (std::size_t k = 0; k < bands.size(); ++k) {
        bands[k].begin = row;
        sharesSoFar += shares[k];
        const int64_t upTo = shareOf(total, sharesSoFar, whole);
        while (row < rows && (before < upTo || k + 1 == bands.size())) {
            before += work[static_cast<std::size_t>(row)];
            ++row;
        }
        bands[k].end = row;
    }
    return bands;
}

std::vector<RowBand> bandsWithThinEdges(std::span<const int64_t> work,
                                        std::span<const int64_t> shares) {
    std::vector<RowBand> bands = bandsOfWork(work, shares);
    const auto rows = static_cast<int32_t>(work.size());
    std::vector<int64_t> above(work.size() + 1, 0); // the work of the rows above each row
    for (std::size_t row = 0; row < work.size(); ++row) {
        above[row + 1] = above[row] + work[row];
    }
    const int64_t total = above.back();
    const int64_t whole = std::accumulate(shares.begin(), shares.end(), int64_t{0});
    for (std::size_t k = 0; k + 1 < bands.size(); ++k) {
        const int32_t edge = bands[k].end;
        if (edge >= rows) {
            continue;
        }
        const int64_t slack =
            shareOf(total, std::min(shares[k], shares[k + 1]), whole) / kEdgeSlackDivisor;
        const int64_t atEdge = above[static_cast<std::size_t>(edge)];
        int32_t thinnest = edge;
        // Each edge stays within its neighbours' rows, so bands stay in order.
        for (int32_t row = bands[k].begin + 1; row < bands[k + 1].end; ++row) {
            const int64_t before = above[static_cast<std::size_t>(row)];
            if (before > atEdge + slack) {
                break;
            }
            if (before >= atEdge - slack &&
                work[static_cast<std::size_t>(row)] < work[static_cast<std::size_t>(thinnest)]) {
                thinnest = row;
            }
        }
        bands[k].end = thinnest;
        bands[k + 1].begin = thinnest;
    }
    return bands;
}

void drawBand(const ParticleBrush& brush, RowBand band, const ReadyStrokes& ready,
              std::size_t count) {
    Vec3 a[4], b[4];
    ReadyStrokes::Draws heldDraws[4];
    const int32_t* draws[4] = {heldDraws[0].data(), heldDraws[1].data(), heldDraws[2].data(),
                               heldDraws[3].data()};
    // The band's strokes are picked out first without a branch: a band
    // passes over about half of a window's strokes, in no pattern, and the
    // branch on each mispredicted every other stroke.
    // Left unset: every slot is written before it is read.
    const std::unique_ptr<uint32_t[]> touching(new uint32_t[count]);
    std::size_t touched = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const StrokeRows rows = ready.rowsAt(i);
        touching[touched] = static_cast<uint32_t>(i);
        touched += static_cast<std::size_t>(rows.bottom >= band.begin && rows.top < band.end);
    }
    unsigned crossing = 0; // bit k: held stroke k reaches over an edge
    int held = 0;
    for (std::size_t t = 0; t < touched; ++t) {
        const std::size_t i = touching[t];
        const StrokeRows rows = ready.rowsAt(i);
        if (rows.top < band.begin || rows.bottom >= band.end) {
            crossing |= 1u << held;
        }
        ready.endsAt(i, a[held], b[held]);
        heldDraws[held] = ready.drawsAt(i);
        if (++held == 4) {
            brush.drawFourInBand(a, b, draws, band, crossing);
            held = 0;
            crossing = 0;
        }
    }
    for (int k = 0; k < held; ++k) {
        brush.drawOneInBand(a[k], b[k], draws[k], band, (crossing >> k) & 1);
    }
}

namespace {

// How fast a band has drawn its last windows, in strokes over its rows a
// second. The cores of one machine need not draw alike: on a host whose two
// cores sat far apart, one band took 76 ms of a run where the other took
// 116, the slow one on either core from run to run.
class BandPace {
  public:
    void add(int64_t work, std::chrono::steady_clock::duration took) {
        const double seconds = std::chrono::duration<double>(took).count();
        if (work <= 0 || seconds <= 0.0) {
            return;
        }
        // The windows before count for less and less: a core's pace moves.
        workDone = workDone * kKept + static_cast<double>(work);
        timeTaken = timeTaken * kKept + seconds;
    }
    double rate() const { return timeTaken > 0.0 ? workDone / timeTaken : 0.0; }

  private:
    static constexpr double kKept = 0.75;
    double workDone = 0.0;
    double timeTaken = 0.0;
};

// Shares of even bands: fine enough that a band's share moves by a fraction
// of a percent.
constexpr int64_t kEvenShare = 1024;

// The work of drawInBands, each piece taken by whichever worker is free:
// making ready a run of a window (the window's strokes are cut into one run
// per worker, each with its own copy of the jitter), and drawing a window in
// a band. A band draws its windows in order, one worker at a time, once all
// the runs of the window are ready and its bands cut, and once the bands of
// the window before that held any of its rows have drawn it (the bands move
// from window to window). A window is made ready in the buffer of the window
// kSlots before it, once every band has drawn that one. So a worker that
// finds its band's next window held up makes later windows ready instead,
// and sleeps only when it is two windows ahead; a job run inline, part after
// part, does all the work in its first part.
class BandWork {
  public:
    BandWork(const ParticleBrush& brush, std::size_t count, int parts, const StrokeSource& fill,
             std::size_t windowSize)
        : brush(brush), fill(fill), count(count), windowSize(windowSize),
          windows((count + windowSize - 1) / windowSize),
          parts(static_cast<std::size_t>(parts)), ready{ReadyStrokes(windowSize, brush),
                                                        ReadyStrokes(windowSize, brush),
                                                        ReadyStrokes(windowSize, brush)},
          runs(this->parts), bandNext(this->parts), bandBusy(this->parts), pace(this->parts),
          runsReady(windows), windowCut(windows) {
        for (std::size_t slot = 0; slot < kSlots; ++slot) {
            coverage[slot].assign(this->parts, RowCoverage(brush.image.height));
        }
    }

    void work(std::size_t own) {
        std::unique_lock lock(mutex);
        for (;;) {
            if (failed || finished()) {
                return;
            }
            if (!takeSome(own, lock)) {
                changed.wait(lock);
            }
        }
    }

  private:
    struct Run {
        StrokeJitter jitter = startedStrokeJitter(); // at the run's next stroke
        std::optional<RanmarSkip> skip; // from the run's end in a window to its start in the next
        std::size_t next = 0;           // the window it makes ready next
        bool busy = false;
    };

    bool finished() const {
        return std::all_of(bandNext.begin(), bandNext.end(),
                           [&](std::size_t next) { return next == windows; });
    }
    // Whether every band has drawn the window (so its buffer is free).
    bool drawnEverywhere(std::size_t window) const {
        return std::all_of(bandNext.begin(), bandNext.end(),
                           [&](std::size_t next) { return next > window; });
    }
    bool canDraw(std::size_t band) const {
        const std::size_t window = bandNext[band];
        if (bandBusy[band] || window >= windows || !windowCut[window]) {
            return false;
        }
        if (window == 0) {
            return true;
        }
        // The window before's bands stay in their slot while a band has yet
        // to draw it: the slot is only cut again once every band has.
        const RowBand rows = bands[window % kSlots][band];
        for (std::size_t other = 0; other < parts; ++other) {
            if (bandNext[other] >= window) {
                continue;
            }
            const RowBand held = bands[(window - 1) % kSlots][other];
            if (held.begin < held.end && held.begin < rows.end && rows.begin < held.end) {
                return false;
            }
        }
        return true;
    }
    bool canMakeReady(std::size_t run) const {
        const std::size_t window = runs[run].next;
        return !runs[run].busy && window < windows &&
               (window < kSlots || drawnEverywhere(window - kSlots));
    }

    // Each band's share of the next window's work: as the bands have drawn
    // lately, equal until each has drawn.
    std::vector<int64_t> bandShares() const {
        std::vector<int64_t> shares(parts, kEvenShare);
        double sum = 0.0;
        for (const BandPace& band : pace) {
            if (band.rate() <= 0.0) {
                return shares;
            }
            sum += band.rate();
        }
        for (std::size_t k = 0; k < parts; ++k) {
            shares[k] = std::max<int64_t>(
                1, std::llround(pace[k].rate() / sum * static_cast<double>(kEvenShare * parts)));
        }
        return shares;
    }

    // One piece of work, the worker's own band and run first; false if
    // there is none to take. Called and returns with the lock held.
    bool takeSome(std::size_t own, std::unique_lock<std::mutex>& lock) {
        if (canDraw(own)) {
            drawBandOnce(own, lock);
            return true;
        }
        for (std::size_t k = 0; k < parts; ++k) {
            const std::size_t run = (own + k) % parts;
            if (canMakeReady(run)) {
                makeReady(run, lock);
                return true;
            }
        }
        for (std::size_t k = 1; k < parts; ++k) {
            const std::size_t band = (own + k) % parts;
            if (canDraw(band)) {
                drawBandOnce(band, lock);
                return true;
            }
        }
        return false;
    }

    // Work done unlocked; a failure stops every worker.
    template <typename Work> void unlocked(std::unique_lock<std::mutex>& lock, Work work) {
        lock.unlock();
        try {
            work();
        } catch (...) {
            lock.lock();
            failed = true;
            changed.notify_all();
            throw;
        }
        lock.lock();
    }

    void drawBandOnce(std::size_t band, std::unique_lock<std::mutex>& lock) {
        const std::size_t window = bandNext[band];
        bandBusy[band] = true;
        const int64_t work = bandWork[window % kSlots][band];
        const auto start = std::chrono::steady_clock::now();
        unlocked(lock, [&] {
            drawBand(brush, bands[window % kSlots][band], ready[window % kSlots],
                     std::min(windowSize, count - window * windowSize));
        });
        pace[band].add(work, std::chrono::steady_clock::now() - start);
        bandBusy[band] = false;
        ++bandNext[band];
        changed.notify_all();
    }

    void makeReady(std::size_t r, std::unique_lock<std::mutex>& lock) {
        Run& run = runs[r];
        const std::size_t window = run.next;
        run.busy = true;
        unlocked(lock, [&] {
            const std::size_t start = windowSize * r / parts;
            const std::size_t end = windowSize * (r + 1) / parts;
            if (window == 0) {
                if (start > 0) {
                    skipDraws(run.jitter, RanmarSkip(16 * start));
                }
                run.skip.emplace(16 * (windowSize - (end - start)));
            } else {
                skipDraws(run.jitter, *run.skip);
            }
            RowCoverage& covered = coverage[window % kSlots][r];
            covered.clear();
            const std::size_t first = window * windowSize;
            StrokeFiller filler(brush, run.jitter, ready[window % kSlots], start, covered);
            if (first + start < std::min(count, first + end)) {
                fill(first + start, std::min(count, first + end), filler);
            }
        });
        run.busy = false;
        ++run.next;
        if (++runsReady[window] == parts) {
            // The last run of the window cuts its bands.
            const std::vector<int64_t> shares = bandShares();
            unlocked(lock, [&] {
                RowCoverage& sum = coverage[window % kSlots][0];
                for (std::size_t k = 1; k < parts; ++k) {
                    sum.add(coverage[window % kSlots][k]);
                }
                const std::vector<int64_t> perRow = sum.perRow();
                bands[window % kSlots] = bandsWithThinEdges(perRow, shares);
                std::vector<int64_t>& work = bandWork[window % kSlots];
                work.assign(parts, 0);
                for (std::size_t k = 0; k < parts; ++k) {
                    const RowBand rows = bands[window % kSlots][k];
                    for (int32_t row = rows.begin; row < rows.end; ++row) {
                        work[k] += perRow[static_cast<std::size_t>(row)];
                    }
                }
            });
            windowCut[window] = true;
        }
        changed.notify_all();
    }

    const ParticleBrush& brush;
    const StrokeSource& fill;
    const std::size_t count;
    const std::size_t windowSize; // strokes
    const std::size_t windows;
    const std::size_t parts;
    // The windows' buffers, window w's in slot w % kSlots: one drawn, one
    // made ready, and one that lets a worker make ready ahead.
    static constexpr std::size_t kSlots = 3;
    ReadyStrokes ready[kSlots];
    std::vector<RowCoverage> coverage[kSlots]; // each run's strokes' rows
    std::vector<RowBand> bands[kSlots];
    std::vector<int64_t> bandWork[kSlots]; // the strokes over each band's rows

    std::mutex mutex; // guards what follows
    std::condition_variable changed;
    std::vector<Run> runs;
    std::vector<std::size_t> bandNext; // the window each band draws next
    std::vector<bool> bandBusy;
    std::vector<BandPace> pace;         // of each band
    std::vector<std::size_t> runsReady; // of each window
    std::vector<bool> windowCut;
    bool failed = false;
};

} // namespace

void drawInBands(const ParticleBrush& brush, std::size_t count, platform::WorkerPool& workers,
                 const StrokeSource& fill, std::size_t windowSize) {
    const int parts = workers.workers();
    BandWork work(brush, count, parts, fill, windowSize);
    workers.run(parts, [&](int part) { work.work(static_cast<std::size_t>(part)); });
}

} // namespace bramblewisp
