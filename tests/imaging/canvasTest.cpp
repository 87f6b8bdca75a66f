#include "imaging/canvas.h"
#include "imaging/fourLines.h"
#include "imaging/lineWalk.h"
#include "random/ranmar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace bramblewisp {
namespace {

// Every line walk built here: the plain one, which the portable build draws
// with, and the vector unit's where it is compiled. Each test of the lines
// runs on all of them.
using WalkFunction = void (*)(const Canvas&, Bitmap&, int32_t, int32_t, int32_t, int32_t, uint32_t,
                              int, Bitmap*, float, float);
struct Walk {
    const char* name;
    WalkFunction withDepth;
    WalkFunction withoutDepth;

    void line(const Canvas& canvas, Bitmap& image, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
              uint32_t colour, int strength) const {
        withoutDepth(canvas, image, x0, y0, x1, y1, colour, strength, nullptr, 0.0f, 0.0f);
    }
    void lineDepth(const Canvas& canvas, Bitmap& image, int32_t x0, int32_t y0, int32_t x1,
                   int32_t y1, uint32_t colour, int strength, Bitmap& depth, float z0,
                   float z1) const {
        withDepth(canvas, image, x0, y0, x1, y1, colour, strength, &depth, z0, z1);
    }
};
const Walk kWalks[] = {
    {"plain", &lineWalk::plain<true>, &lineWalk::plain<false>},
#if BRAMBLEWISP_SSE2
    {"fast", &lineWalk::fast<true>, &lineWalk::fast<false>},
#endif
};

TEST(Canvas, ScaleTableUsesAFactorJustBelowOneThirtyFirst) {
    const Canvas canvas;
    const auto& t = canvas.scaleTable;
    EXPECT_EQ(t[255][31], 254);
    EXPECT_EQ(t[1][31], 0);
    EXPECT_EQ(t[31][1], 0);
    EXPECT_EQ(t[255][16], 131);
    EXPECT_EQ(t[255][28], 230);
    for (int v = 1; v < 256; ++v) {
        EXPECT_EQ(t[v][31], v - 1) << v;
        EXPECT_EQ(t[v][0], 0) << v;
    }
    for (int k = 0; k < 32; ++k) {
        EXPECT_EQ(t[0][k], 0) << k;
    }
}

TEST(Canvas, SinglePointBlendsOnePixelChannelByChannel) {
    struct Case {
        uint32_t colour, old;
        int strength;
        uint32_t expected;
    };
    const Case cases[] = {
        {0x000000, 0xFFFFFF, 16, 0x7B7B7B},   // black half onto white
        {0xFFFFFF, 0x000000, 16, 0x838383},   // white half onto black
        {0x000000, 0x123456, 0, 0x113355},    // strength 0 still loses a unit
        {0xFF0000, 0xAB0000FF, 31, 0xFE0000}, // red onto blue; the top byte goes
    };
    Canvas canvas;
    for (const Walk& walk : kWalks) {
        for (const Case& c : cases) {
            Bitmap image(3, 3), depth(3, 3);
            std::fill(image.pixels.begin(), image.pixels.end(), c.old);
            EXPECT_EQ(canvas.blend(c.colour, c.old, c.strength), c.expected);
            walk.line(canvas, image, 1, 2, 1, 2, c.colour, c.strength);
            for (std::size_t i = 0; i < 9; ++i) {
                EXPECT_EQ(image.pixels[i], i == 7 ? c.expected : c.old) << walk.name << " " << i;
            }
            walk.lineDepth(canvas, image, 2, 0, 2, 0, c.colour, c.strength, depth, 4.5f, 9.0f);
            EXPECT_EQ(image.at(2, 0), c.expected) << walk.name;
            for (std::size_t i = 0; i < 9; ++i) {
                EXPECT_EQ(depthAt(depth, i), i == 2 ? 4.5f : 0.0f) << walk.name << " " << i;
            }
        }
    }
}

// The line drawers scale three channels by one multiply; they must agree
// with the table for every strength, every channel value and any top byte.
TEST(Canvas, LinesBlendExactlyAsTheTableForEveryStrength) {
    Canvas canvas;
    Bitmap image(256, 1);
    uint32_t state = 2463534242u;
    auto random = [&] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (const Walk& walk : kWalks) {
        for (int k = 0; k < 32; ++k) {
            for (int round = 0; round < 4; ++round) {
                Bitmap::Cells old(256);
                for (uint32_t v = 0; v < 256; ++v) {
                    // Every value in every channel, over random other channels.
                    const uint32_t noise = random();
                    old[v] = round == 0
                                 ? v * 0x010101u
                                 : (noise & ~(0xFFu << (8 * (round - 1)))) | v << (8 * (round - 1));
                }
                image.pixels = old;
                const uint32_t colour = random();
                walk.line(canvas, image, 0, 0, 255, 0, colour, k);
                for (uint32_t x = 0; x < 256; ++x) {
                    ASSERT_EQ(image.pixels[x],
                              canvas.blend(colour & 0xFFFFFF, old[x] & 0xFFFFFF, k))
                        << walk.name << ", strength " << k << ", old " << std::hex << old[x];
                }
            }
        }
    }
}

TEST(Canvas, LinesWalkFromTheSmallerMajorCoordinateInFixedPoint) {
    using Pixels = std::set<std::pair<int, int>>;
    struct Case {
        int x0, y0, x1, y1;
        Pixels pixels;
    };
    const Pixels shallow = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}};
    Pixels row3;
    for (int x = 2; x <= 10; ++x) {
        row3.insert({x, 3});
    }
    const Case cases[] = {
        {0, 0, 4, 2, shallow},
        {4, 2, 0, 0, shallow},
        {0, 0, 2, 4, {{0, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}}},
        // A falling minor coordinate floors too, so this is no mirror image of
        // the rising line.
        {4, 0, 0, 2, {{0, 2}, {1, 2}, {2, 1}, {3, 1}, {4, 0}}},
        {2, 0, 0, 4, {{2, 0}, {2, 1}, {1, 2}, {1, 3}, {0, 4}}},
        {3, 3, 0, 0, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        {10, 3, 2, 3, row3},
    };
    Canvas canvas;
    for (const Walk& walk : kWalks) {
        for (const Case& c : cases) {
            Bitmap image(12, 6), depth(12, 6), plain(12, 6);
            std::fill(image.pixels.begin(), image.pixels.end(), 0xFFFFFFu);
            std::fill(plain.pixels.begin(), plain.pixels.end(), 0xFFFFFFu);
            for (std::size_t i = 0; i < depth.cellCount(); ++i) {
                setDepth(depth, i, -1.0f); // nearer than the line: there is no depth test
            }
            walk.lineDepth(canvas, image, c.x0, c.y0, c.x1, c.y1, 0, 31, depth, 0.0f, 8.0f);
            walk.line(canvas, plain, c.x0, c.y0, c.x1, c.y1, 0, 31);
            Pixels touched;
            for (int y = 0; y < 6; ++y) {
                for (int x = 0; x < 12; ++x) {
                    const float z = depthAt(depth, static_cast<std::size_t>(y * 12 + x));
                    if (image.at(x, y) != 0xFFFFFFu) {
                        touched.insert({x, y});
                        EXPECT_TRUE(z > -0.001f && z < 8.001f) << x << "," << y;
                    } else {
                        EXPECT_EQ(z, -1.0f) << x << "," << y;
                    }
                    EXPECT_EQ(plain.at(x, y), image.at(x, y)) << x << "," << y;
                }
            }
            EXPECT_EQ(touched, c.pixels)
                << walk.name << " " << c.x0 << "," << c.y0 << " to " << c.x1 << "," << c.y1;
            if (c.x0 == 10 && c.y0 == 3) {
                // The walk starts at x = 2, which is the line's second endpoint.
                for (int x = 2; x <= 10; ++x) {
                    EXPECT_EQ(depthAt(depth, static_cast<std::size_t>(36 + x)), 10.0f - x)
                        << walk.name << " " << x;
                }
            }
        }
    }
}

// Every slope of the short lines, and long lines on both sides of 1024, drawn
// as the plain walk visits them, which divides for the step. Each line is
// drawn black on white, its expected pixels checked and whitened again, so any
// stray pixel is still black at the end.
TEST(Canvas, LineStepIsTheTruncatedQuotientForEverySlope) {
    Bitmap image(1040, 1040);
    std::fill(image.pixels.begin(), image.pixels.end(), 0xFFFFFFu);
    Canvas canvas;
    const auto walk = [&](int32_t major, int32_t minor, bool xMajor, bool falling) {
        const int32_t startMinor = falling ? minor + 3 : 3;
        const int32_t x0 = xMajor ? 3 : startMinor, y0 = xMajor ? startMinor : 3;
        const int32_t x1 = xMajor ? 3 + major : (falling ? 3 : minor + 3);
        const int32_t y1 = xMajor ? (falling ? 3 : minor + 3) : 3 + major;
        canvas.drawLine(image, x1, y1, x0, y0, 0, 31);
        int32_t i = 0;
        lineWalk::plainPixels(x1, y1, x0, y0, 0.0f, 0.0f, [&](int32_t x, int32_t y, float) {
            uint32_t& pixel = image.at(x, y);
            ASSERT_EQ(pixel, 0u) << major << " by " << minor << " step " << i++;
            pixel = 0xFFFFFF;
        });
    };
    std::vector<int32_t> majors;
    for (int32_t major = 1; major <= 80; ++major) {
        majors.push_back(major);
    }
    majors.insert(majors.end(), {255, 511, 799, 1023, 1024, 1025});
    for (const int32_t major : majors) {
        for (int32_t minor = 0; minor <= major; minor += major > 80 ? 7 : 1) {
            for (const bool xMajor : {true, false}) {
                walk(major, minor, xMajor, false);
                walk(major, minor, xMajor, true);
            }
        }
    }
    EXPECT_TRUE(std::all_of(image.pixels.begin(), image.pixels.end(),
                            [](uint32_t cell) { return cell == 0xFFFFFFu; }));
}

// A picture drawn band by band, each band drawing every line in order clipped
// to its rows, must be the picture of the whole lines: the bands split each
// line's pixels and its running depth exactly and need no order among
// themselves (they run bottom up here). Lines cross one band or many, lie on
// a boundary row, lead with x or y, rise or fall; each four share strength
// and depths, as a stroke's lines do.
TEST(Canvas, LinesDrawnBandByBandLeaveWhatWholeLinesLeave) {
    constexpr int32_t kWidth = 96, kHeight = 64;
    struct Line {
        int32_t x0, y0, x1, y1;
    };
    std::vector<Line> lines = {{5, 16, 90, 16},  {5, 15, 90, 15}, {90, 17, 5, 16},
                               {40, 0, 40, 63},  {95, 0, 0, 63},  {10, 63, 20, 0},
                               {3, 7, 3, 8},     {50, 8, 50, 8},  {0, 31, 95, 32},
                               {60, 24, 61, 40}, {7, 9, 0, 8},    {20, 40, 29, 31}};
    Ranmar place;
    place.init(5, 9);
    while (lines.size() < 400) {
        const int32_t reach = lines.size() % 3 == 0 ? kWidth : 9;
        const int32_t x0 = place.next() % kWidth, y0 = place.next() % kHeight;
        lines.push_back(
            {x0, y0, std::clamp<int32_t>(x0 + place.next() % (2 * reach) - reach, 0, kWidth - 1),
             std::clamp<int32_t>(y0 + place.next() % (2 * reach) - reach, 0, kHeight - 1)});
    }
    enum class Kind { plain, build, four };
    const Canvas canvas;
    // Every line, four at a time, into the band (whole: unclipped, plainly).
    auto drawAll = [&](Kind kind, bool withDepth, Bitmap& image, Bitmap& depth,
                       std::optional<RowBand> band) {
        for (std::size_t group = 0; group < lines.size() / 4; ++group) {
            const int strength = static_cast<int>(group % 32);
            const float z0 = 0.3f + 1.7f * static_cast<float>(group);
            const float z1 = 97.1f - 3.3f * static_cast<float>(group);
            alignas(16) int32_t x0[4], y0[4], x1[4], y1[4];
            alignas(16) uint32_t colours[4];
            for (int k = 0; k < 4; ++k) {
                const Line& l = lines[4 * group + static_cast<std::size_t>(k)];
                x0[k] = l.x0, y0[k] = l.y0, x1[k] = l.x1, y1[k] = l.y1;
                colours[k] = 0x10305070u * static_cast<uint32_t>(4 * group + k + 1);
            }
#if BRAMBLEWISP_SSE2
            if (kind == Kind::four) {
                const auto v = [](const auto* lanes) { return simd::load(lanes); };
                withDepth ? lineWalk::drawFourLinesInBand<true>(canvas, image, v(x0), v(y0), v(x1),
                                                                v(y1), v(colours), strength, &depth,
                                                                z0, z1, *band)
                          : lineWalk::drawFourLinesInBand<false>(canvas, image, v(x0), v(y0), v(x1),
                                                                 v(y1), v(colours), strength,
                                                                 nullptr, z0, z1, *band);
                continue;
            }
#endif
            for (int k = 0; k < 4; ++k) {
                Bitmap* depthOrNull = withDepth ? &depth : nullptr;
                if (!band) {
                    withDepth ? lineWalk::plain<true>(canvas, image, x0[k], y0[k], x1[k], y1[k],
                                                      colours[k], strength, depthOrNull, z0, z1)
                              : lineWalk::plain<false>(canvas, image, x0[k], y0[k], x1[k], y1[k],
                                                       colours[k], strength, depthOrNull, z0, z1);
                } else if (kind == Kind::plain) {
                    withDepth ? lineWalk::plainInBand<true>(canvas, image, x0[k], y0[k], x1[k],
                                                            y1[k], colours[k], strength,
                                                            depthOrNull, z0, z1, *band)
                              : lineWalk::plainInBand<false>(canvas, image, x0[k], y0[k], x1[k],
                                                             y1[k], colours[k], strength,
                                                             depthOrNull, z0, z1, *band);
                } else {
                    // The build's own walk: the fast one where the vector unit is built.
                    withDepth ? canvas.drawLineDepth(image, x0[k], y0[k], x1[k], y1[k], colours[k],
                                                     strength, depth, z0, z1, *band)
                              : canvas.drawLine(image, x0[k], y0[k], x1[k], y1[k], colours[k],
                                                strength, *band);
                }
            }
        }
    };
    auto fresh = [&](Bitmap& image, Bitmap& depth) {
        for (std::size_t i = 0; i < image.cellCount(); ++i) {
            image.pixels[i] = 0x00FFFFFFu - static_cast<uint32_t>(i) * 0x010203u % 0x00FFFFFFu;
            setDepth(depth, i, -1.0f);
        }
    };
    std::vector<Kind> kinds = {Kind::plain, Kind::build};
#if BRAMBLEWISP_SSE2
    kinds.push_back(Kind::four);
#endif
    for (const bool withDepth : {false, true}) {
        Bitmap expected(kWidth, kHeight), expectedDepth(kWidth, kHeight);
        fresh(expected, expectedDepth);
        drawAll(Kind::plain, withDepth, expected, expectedDepth, std::nullopt);
        for (const Kind kind : kinds) {
            for (const int32_t height : {1, 3, 8, 16, 64}) {
                Bitmap image(kWidth, kHeight), depth(kWidth, kHeight);
                fresh(image, depth);
                for (int32_t begin = (kHeight - 1) / height * height; begin >= 0; begin -= height) {
                    drawAll(kind, withDepth, image, depth, RowBand{begin, begin + height});
                }
                ASSERT_EQ(image.pixels, expected.pixels)
                    << "kind " << static_cast<int>(kind) << ", bands of " << height
                    << (withDepth ? ", with depth" : "");
                ASSERT_EQ(depth.pixels, expectedDepth.pixels)
                    << "kind " << static_cast<int>(kind) << ", bands of " << height;
            }
        }
    }
}

#if BRAMBLEWISP_SSE2
// The vector unit's walks, one line or four at a time, against the plain
// walk, over lines of every direction up to well past the short-line table,
// points, the bitmap's edges and every strength.
TEST(Canvas, FastLinesDrawAsThePlainWalk) {
    Bitmap image(1100, 1100), single(1100, 1100), expected(1100, 1100);
    Bitmap depth(1100, 1100), singleDepth(1100, 1100), expectedDepth(1100, 1100);
    std::fill(image.pixels.begin(), image.pixels.end(), 0x80C0FFu);
    single.pixels = expected.pixels = image.pixels;
    Canvas canvas;
    Ranmar place;
    place.init(3, 14);
    for (int round = 0; round < 400; ++round) {
        // Long lines in one round of four, short ones (and points) in the next.
        const int32_t reach = round % 2 == 0 ? 1100 : 9;
        alignas(16) int32_t x0[4], y0[4], x1[4], y1[4];
        alignas(16) uint32_t colours[4];
        for (int k = 0; k < 4; ++k) {
            x0[k] = place.next() % 1100;
            y0[k] = place.next() % 1100;
            x1[k] = std::clamp<int32_t>(x0[k] + place.next() % (2 * reach) - reach, 0, 1099);
            y1[k] = std::clamp<int32_t>(y0[k] + place.next() % (2 * reach) - reach, 0, 1099);
            colours[k] = static_cast<uint32_t>(place.next());
        }
        const int strength = round % 32;
        const bool withDepth = round % 3 == 0;
        const float z0 = static_cast<float>(place.next() % 5000) * 0.03f;
        const float z1 = static_cast<float>(place.next() % 5000) * 0.07f;
        auto vector = [](const auto* values) {
            return _mm_load_si128(reinterpret_cast<const __m128i*>(values));
        };
        if (withDepth) {
            lineWalk::drawFourLines<true>(canvas, image, vector(x0), vector(y0), vector(x1),
                                          vector(y1), vector(colours), strength, &depth, z0, z1);
        } else {
            lineWalk::drawFourLines<false>(canvas, image, vector(x0), vector(y0), vector(x1),
                                           vector(y1), vector(colours), strength, nullptr, 0.0f,
                                           0.0f);
        }
        for (int k = 0; k < 4; ++k) {
            if (withDepth) {
                lineWalk::fast<true>(canvas, single, x0[k], y0[k], x1[k], y1[k], colours[k],
                                     strength, &singleDepth, z0, z1);
                lineWalk::plain<true>(canvas, expected, x0[k], y0[k], x1[k], y1[k], colours[k],
                                      strength, &expectedDepth, z0, z1);
            } else {
                lineWalk::fast<false>(canvas, single, x0[k], y0[k], x1[k], y1[k], colours[k],
                                      strength, nullptr, 0.0f, 0.0f);
                lineWalk::plain<false>(canvas, expected, x0[k], y0[k], x1[k], y1[k], colours[k],
                                       strength, nullptr, 0.0f, 0.0f);
            }
        }
        ASSERT_EQ(image.pixels, expected.pixels) << "four lines, round " << round;
        ASSERT_EQ(depth.pixels, expectedDepth.pixels) << "four lines, round " << round;
        ASSERT_EQ(single.pixels, expected.pixels) << "single lines, round " << round;
        ASSERT_EQ(singleDepth.pixels, expectedDepth.pixels) << "single lines, round " << round;
    }
}

// The four-lane spans of lines in a band are the steps stepsInBand finds,
// and their runs the walks pairedRun sets up for those steps: lines of
// every direction, flat lines and points, in bands whose edges fall before,
// on, inside and beyond them.
TEST(Canvas, FourSpansInABandAreTheSingleSpans) {
    using namespace lineWalk;
    Ranmar place;
    place.init(8, 31);
    auto lanes = [](__m128i v) {
        alignas(16) std::array<int32_t, 4> out;
        _mm_store_si128(reinterpret_cast<__m128i*>(out.data()), v);
        return out;
    };
    for (int round = 0; round < 20000; ++round) {
        const int32_t reach = round % 3 == 0 ? 120 : 12;
        auto near = [&](int32_t v, int32_t size) {
            return std::clamp<int32_t>(v + place.next() % (2 * reach + 1) - reach, 0, size - 1);
        };
        alignas(16) int32_t x0[4], y0[4], x1[4], y1[4];
        for (int k = 0; k < 4; ++k) {
            x0[k] = place.next() % 200;
            y0[k] = place.next() % 120;
            x1[k] = near(x0[k], 200);
            y1[k] = round % 5 == k ? y0[k] : near(y0[k], 120); // flat lines too
        }
        const int32_t begin = place.next() % 121;
        const RowBand band{begin, begin + place.next() % (121 - begin)};
        const FourLineSetUp lines =
            setUpFourLines(simd::load(x0), simd::load(y0), simd::load(x1), simd::load(y1));
        const FourSpans spans = fourStepsInBand(lines, band);
        FourPairedRuns runs;
        storePairedSpans(lines, spans, runs);
        const FourSingleRuns single(lines);
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", line " << k);
            const StepSpan want = single.span(k, band);
            const std::pair got(lanes(spans.first)[k], lanes(spans.end)[k]);
            if (want.first == want.end) {
                ASSERT_EQ(got.first, got.second); // an empty span anywhere
                ASSERT_EQ(runs.pairs[k], 0);
                continue;
            }
            ASSERT_EQ(got, std::pair(want.first, want.end));
            const PairedRun run =
                pairedRun(single.startX[k], single.startY[k], single.xMajor[k] != 0, single.step[k],
                          want.first, want.end);
            ASSERT_EQ(lanes(runs[k].ends), lanes(run.ends));
            ASSERT_EQ(lanes(runs[k].steps), lanes(run.steps));
            ASSERT_EQ(runs[k].pairs, run.pairs);
        }
    }
}

// Lines noted in a pair list and walked together leave what runLinePaired
// leaves walking each alone, in order: overlapping lines of two strengths,
// points, lines longer than the pairs noted without a branch and longer
// than the list's room, and lists walked before they are full.
TEST(Canvas, PairListWalksLinesAsEachAlone) {
    using namespace lineWalk;
    Bitmap image(1100, 600), expected(1100, 600);
    std::fill(image.pixels.begin(), image.pixels.end(), 0x80C0FFu);
    expected.pixels = image.pixels;
    const Canvas canvas;
    Ranmar place;
    place.init(5, 27);
    PairList list(image.pixels.data(), image.width);
    int32_t x = 550, y = 300; // where the short lines crowd, wandering
    for (int line = 0; line < 4000; ++line) {
        x = std::clamp<int32_t>(x + place.next() % 5 - 2, 0, 1099);
        y = std::clamp<int32_t>(y + place.next() % 5 - 2, 0, 599);
        const int32_t reach = line % 16 == 0 ? 1100 : 9;
        auto near = [&](int32_t v, int32_t size) {
            return std::clamp<int32_t>(v + place.next() % (2 * reach + 1) - reach, 0, size - 1);
        };
        // One line in 32 runs across the whole picture through the crowd
        // (more pairs than the list holds), one in 32 is long elsewhere.
        const bool across = line % 32 == 0;
        const int32_t x0 = across ? 0 : reach > 9 ? place.next() % 1100 : x;
        const int32_t x1 = across ? 1099 : near(x0, 1100);
        const int32_t y1 = across ? y : near(y, 600);
        const FastLine set = setUpLine(image, x0, y, x1, y1);
        const PairedRun run =
            pairedRun(set.startX, set.startY, set.xMajor != 0, set.step, set.major);
        const int strength = line % 3 == 0 ? 16 : 8;
        const uint32_t colour = scaleChannels(static_cast<uint32_t>(place.next()) & 0xFFFFFFu,
                                              channelMultiplier(canvas.scaleMultipliers[strength]));
        const __m128i keep = channelMultiplier(canvas.scaleMultipliers[31 - strength]);
        list.add(run, colour, keep);
        runLinePaired(expected.pixels.data(), run, cellIndexWeights(image.width), colour, keep);
        if (line % 101 == 0) {
            list.walk();
        }
    }
    list.walk();
    ASSERT_EQ(image.pixels, expected.pixels);
}
#endif

} // namespace
} // namespace bramblewisp
