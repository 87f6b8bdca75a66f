#include "imaging/strokeBands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace bramblewisp {
namespace {

// Strokes drawn band by band leave what the same strokes drawn whole, one
// after another, leave: pixels and depths. The strokes cross one band edge
// or many, run along an edge row or just above or below it, shrink to
// points, at the jitters and widths of larger pictures; two and a half
// windows of them, so that the workers' runs of the jitter meet uneven
// windows. The bands are given (every height, drawn bottom up, by the fast
// and the plain stroke) or cut by drawInBands for 2, 3 and 7 workers.
TEST(StrokeBands, StrokesDrawnBandByBandLeaveWhatWholeStrokesLeave) {
    constexpr int32_t kWidth = 96, kHeight = 64;
    struct Look {
        int32_t jitterScale, lineWidth;
    };
    const Look looks[] = {{256, 1}, {420, 2}, {300, 3}};
    struct Stroke {
        Vec3 a, b;
    };
    Canvas canvas;
    for (const Look& look : looks) {
        const int32_t margin = jitterOf(255, look.jitterScale) + look.lineWidth / 2 + 1;
        // Picture rows to the brush's y (up from the centre).
        auto at = [](int32_t x, int32_t row, float z) {
            return Vec3{static_cast<float>(x - kWidth / 2) + 0.5f,
                        static_cast<float>(kHeight / 2 - row) + 0.25f, z};
        };
        std::vector<Stroke> strokes;
        // Edges of bands of 1, 3 (at 24), 8 and 16 rows.
        for (const int32_t edge : {24, 32, 40}) {
            for (const int32_t row : {edge - 1, edge}) {
                strokes.push_back({at(margin, row, 1.0f), at(kWidth - 1 - margin, row, 2.0f)});
                strokes.push_back({at(40, row, 0.5f), at(40, row, 0.5f)});
            }
            strokes.push_back({at(30, edge - 3, 3.0f), at(33, edge + 2, 0.0f)});
        }
        strokes.push_back({at(50, margin, 4.0f), at(52, kHeight - 1 - margin, 1.0f)});
        Ranmar place;
        place.init(look.lineWidth, 31);
        while (strokes.size() < 5 * kStrokeWindow / 2) {
            const int32_t reach = strokes.size() % 5 == 0 ? kHeight : 6;
            auto coordinate = [&](int32_t from, int32_t size) {
                return std::clamp(from + place.next() % (2 * reach + 1) - reach, margin,
                                  size - 1 - margin);
            };
            const int32_t x = coordinate(kWidth / 2, kWidth), y = coordinate(kHeight / 2, kHeight);
            strokes.push_back({at(x, y, static_cast<float>(place.next() % 50) * 0.1f),
                               at(coordinate(x, kWidth), coordinate(y, kHeight),
                                  static_cast<float>(place.next() % 50) * 0.1f)});
        }
        for (const bool withDepth : {false, true}) {
            const std::string how = "width " + std::to_string(look.lineWidth) +
                                    (withDepth ? ", with depth" : ", without depth");
            // A picture with a pattern to blend over, and a brush on it.
            struct Picture {
                Picture() {
                    for (std::size_t i = 0; i < image.cellCount(); ++i) {
                        image.pixels[i] = 0x00FFFFFFu - static_cast<uint32_t>(i) * 0x010203u;
                        setDepth(depth, i, -1.0f);
                    }
                }
                Bitmap image{kWidth, kHeight}, depth{kWidth, kHeight};
            };
            const int32_t palette = look.lineWidth;
            auto brushOn = [&](Picture& picture) {
                return ParticleBrush{canvas,        picture.image, picture.depth, 0.7f,
                                     false,         withDepth,     palette,       look.jitterScale,
                                     look.lineWidth};
            };
            Picture expected;
            const ParticleBrush whole = brushOn(expected);
            StrokeJitter jitter = startedStrokeJitter();
            ReadyStrokes ready(strokes.size(), whole);
            RowCoverage coverage(kHeight);
            StrokeJitter readyJitter = startedStrokeJitter();
            StrokeFiller filler(whole, readyJitter, ready, 0, coverage);
            // The bands of every height draw the first strokes, the workers all.
            constexpr std::size_t kBanded = 600;
            Bitmap::Cells bandedImage, bandedDepth;
            for (std::size_t i = 0; i < strokes.size(); ++i) {
                whole.drawParticle(strokes[i].a, strokes[i].b, jitter);
                filler.add(strokes[i].a, strokes[i].b);
                if (i + 1 == kBanded) {
                    bandedImage = expected.image.pixels;
                    bandedDepth = expected.depth.pixels;
                }
            }
            for (const int32_t height : {1, 3, 8, 16, 64}) {
                for (const bool plain : {false, true}) {
                    Picture picture;
                    const ParticleBrush brush = brushOn(picture);
                    for (int32_t begin = (kHeight - 1) / height * height; begin >= 0;
                         begin -= height) {
                        const RowBand band{begin, begin + height};
                        if (!plain) {
                            drawBand(brush, band, ready, kBanded);
                            continue;
                        }
                        for (std::size_t i = 0; i < kBanded; ++i) {
                            Vec3 a, b;
                            ready.endsAt(i, a, b);
                            brush.drawPlainInBand(a, b, ready.drawsAt(i).data(), band);
                        }
                    }
                    ASSERT_EQ(picture.image.pixels, bandedImage)
                        << how << ", bands of " << height << (plain ? ", plain" : "");
                    ASSERT_EQ(picture.depth.pixels, bandedDepth) << how << ", bands of " << height;
                }
            }
            // Windows of the usual size, of an odd one, and one longer than all.
            const std::pair<int, std::size_t> runs[] = {{2, kStrokeWindow},
                                                        {3, kStrokeWindow},
                                                        {7, kStrokeWindow},
                                                        {3, 997},
                                                        {2, 4 * kStrokeWindow}};
            for (const auto& [workers, windowSize] : runs) {
                Picture picture;
                platform::WorkerPool pool(workers);
                drawInBands(
                    brushOn(picture), strokes.size(), pool,
                    [&](std::size_t first, std::size_t end, StrokeFiller& sink) {
                        for (std::size_t i = first; i < end; ++i) {
                            sink.add(strokes[i].a, strokes[i].b);
                        }
                    },
                    windowSize);
                ASSERT_EQ(picture.image.pixels, expected.image.pixels)
                    << how << ", workers " << workers << ", windows of " << windowSize;
                ASSERT_EQ(picture.depth.pixels, expected.depth.pixels)
                    << how << ", workers " << workers << ", windows of " << windowSize;
            }
        }
    }
}

// Bands of equal work, or of the shares asked for, each edge moved to the
// thinnest row within a quarter of the smaller share of the work (here about
// twelve rows for halves, six for a quarter): to a valley just after or
// before it, not to one too far, and never off the rows.
TEST(StrokeBands, EdgesMoveToThinRowsNearby) {
    // Rows of work 10 but for valleys of 1.
    auto rows = [](int32_t count, std::vector<int32_t> valleys) {
        std::vector<int64_t> work(static_cast<std::size_t>(count), 10);
        for (const int32_t row : valleys) {
            work[static_cast<std::size_t>(row)] = 1;
        }
        return work;
    };
    const struct {
        std::vector<int64_t> work;
        std::vector<int64_t> shares;
        std::vector<int32_t> edges; // each band's end
    } cases[] = {
        {rows(100, {53}), {1, 1}, {53, 100}}, {rows(100, {64}), {1, 1}, {50, 100}},
        {rows(100, {46}), {1, 1}, {46, 100}}, {rows(90, {28, 62}), {1, 1, 1}, {28, 62, 90}},
        {{0, 0, 0, 5}, {1, 1}, {4, 4}},       {{}, {1, 1}, {0, 0}},
        {rows(100, {}), {3, 1}, {75, 100}},   {rows(100, {80}), {3, 1}, {80, 100}},
        {rows(100, {90}), {3, 1}, {75, 100}}, {rows(100, {}), {1, 2, 1}, {25, 75, 100}},
    };
    for (const auto& c : cases) {
        std::vector<int32_t> edges;
        int32_t begin = 0;
        for (const RowBand& band : bandsWithThinEdges(c.work, c.shares)) {
            EXPECT_EQ(band.begin, begin);
            edges.push_back(band.end);
            begin = band.end;
        }
        EXPECT_EQ(edges, c.edges) << c.work.size() << " rows in " << c.shares.size();
    }
}

// Bands of any shares, over rows of any work up to sums near 2^50: they
// follow one another over every row, and each but the last ends at the first
// row where the work above reaches its share, rounded down.
TEST(StrokeBands, BandsOfWorkTakeTheirShares) {
    Ranmar random;
    random.init(11, 29);
    auto below = [&](int64_t n) { return static_cast<int64_t>(random.next()) % n; };
    for (int round = 0; round < 2000; ++round) {
        std::vector<int64_t> work(static_cast<std::size_t>(below(40)));
        const int64_t scale = round % 3 == 0 ? int64_t{1} << 40 : 1;
        for (int64_t& w : work) {
            w = below(4) == 0 ? 0 : below(1000) * scale;
        }
        std::vector<int64_t> shares(static_cast<std::size_t>(1 + below(7)));
        for (int64_t& share : shares) {
            share = 1 + below(round % 2 == 0 ? 4 : 1 << 20);
        }
        int64_t total = 0, whole = 0;
        for (const int64_t w : work) {
            total += w;
        }
        for (const int64_t share : shares) {
            whole += share;
        }
        const std::vector<RowBand> bands = bandsOfWork(work, shares);
        ASSERT_EQ(bands.size(), shares.size());
        int32_t row = 0;
        int64_t above = 0, sharesSoFar = 0;
        for (std::size_t k = 0; k < bands.size(); ++k) {
            ASSERT_EQ(bands[k].begin, row) << round;
            ASSERT_LE(bands[k].begin, bands[k].end) << round;
            sharesSoFar += shares[k];
            __extension__ using Wide = __int128; // the product needs up to 90 bits
            const auto upTo = static_cast<int64_t>(Wide{total} * sharesSoFar / whole);
            for (; row < bands[k].end; ++row) {
                // Only the last band takes rows past its share.
                ASSERT_TRUE(above < upTo || k + 1 == bands.size()) << round;
                above += work[static_cast<std::size_t>(row)];
            }
            ASSERT_TRUE(above >= upTo || row == static_cast<int32_t>(work.size())) << round;
        }
        ASSERT_EQ(row, static_cast<int32_t>(work.size())) << round;
        ASSERT_EQ(bandsWithThinEdges(work, shares).back().end, row) << round;
    }
}

// Without depths a window keeps each stroke's whole pixels and depth sum:
// ends either side of whole pixels and of zero, with depths of either sign
// and far past a shade's wrap, still draw as the stroke's own ends.
TEST(StrokeBands, KeptEndsDrawAsTheStrokesOwn) {
    Canvas canvas;
    Bitmap own(64, 64), kept(64, 64), depth(0, 0);
    const ParticleBrush ownBrush{canvas, own, depth, 0.9f, false, false, 0, 256, 1};
    const ParticleBrush keptBrush{canvas, kept, depth, 0.9f, false, false, 0, 256, 1};
    const int32_t draws[16] = {5,  42, 79,  116, 153, 190, 227, 8,
                               45, 82, 119, 156, 193, 230, 11,  48};
    ReadyStrokes ready(1, keptBrush);
    for (const float x : {-12.99f, -12.0f, -0.5f, -0.0f, 0.49f, 11.999f}) {
        for (const float z : {-300.0f, -0.0f, 0.3f, 97.6f, 1.0e6f}) {
            const Vec3 a{x, -x * 0.5f, z}, b{x * 0.75f, x, z * 0.5f + 1.0f};
            ready.set(0, a, b, StrokeRows{0, 63}, draws);
            Vec3 keptA, keptB;
            ready.endsAt(0, keptA, keptB);
            ownBrush.drawDrawn(a, b, draws);
            keptBrush.drawDrawn(keptA, keptB, draws);
            ASSERT_EQ(own.pixels, kept.pixels) << x << ", " << z;
        }
    }
}

// A ready window keeps of each draw what a stroke reads of it, whatever its
// higher bits: the jitter at every scale, and the usual scale's low bits
// alone, packed and unpacked as their plain twins do.
TEST(StrokeBands, ReadyStrokesKeepWhatAStrokeReadsOfTheirDraws) {
    ReadyStrokes bytes(1, false, false), lowBits(1, false, true);
    Ranmar random;
    random.init(3, 9);
    for (int round = 0; round < 256; ++round) {
        int32_t draws[16];
        for (int k = 0; k < 16; ++k) {
            // Every low byte, under random high bits.
            draws[k] = (random.next() & 0xFFFF00) | ((round + 17 * k) & 0xFF);
        }
        bytes.set(0, Vec3{}, Vec3{}, StrokeRows{0, 0}, draws);
        lowBits.set(0, Vec3{}, Vec3{}, StrokeRows{0, 0}, draws);
        const ReadyStrokes::Draws kept = bytes.drawsAt(0), keptLow = lowBits.drawsAt(0);
        ReadyStrokes::Draws plain;
        drawsOfNibblesPlain(drawNibblesPlain(draws), plain.data());
        ASSERT_EQ(drawNibbles(draws), drawNibblesPlain(draws));
        ASSERT_EQ(keptLow, plain);
        for (int k = 0; k < 16; ++k) {
            const auto at = static_cast<std::size_t>(k);
            ASSERT_EQ(jitterOf(keptLow[at], 256), jitterOf(draws[k], 256)) << draws[k];
            for (const int32_t scale : {256, 300, 420, 1024}) {
                ASSERT_EQ(jitterOf(kept[at], scale), jitterOf(draws[k], scale))
                    << draws[k] << " at " << scale;
            }
        }
    }
}

} // namespace
} // namespace bramblewisp
