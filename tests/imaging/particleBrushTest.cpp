#include "imaging/particleBrush.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace bramblewisp {
namespace {

// The plain stroke onto image and depth, its jitter from the plain generator.
void referenceStroke(const Canvas& canvas, Bitmap& image, Bitmap& depth, float depthScale,
                     bool dark, Vec3 a, Vec3 b, Ranmar& random) {
    const ParticleBrush plain{canvas, image, depth, depthScale, dark};
    plain.drawPlain(a, b, random);
}

Ranmar startedRanmar() {
    Ranmar random;
    random.init(0, 0);
    return random;
}

TEST(ParticleBrush, StrokeIsFiveJitteredLinesInTheColoursOfItsShade) {
    struct Case {
        bool dark;
        float depthScale;
        Vec3 a, b;
    };
    const Case cases[] = {
        {false, 2550.0f, {-20.7f, 10.2f, 0.0f}, {15.9f, -12.5f, 0.0f}}, // shade 0: darkest grey
        {false, 254.0f, {3.0f, 4.0f, 1.0f}, {-19.5f, 2.0f, 1.0f}},      // shade 254: palest
        {true, 2550.0f, {0.0f, -14.0f, 0.0f}, {1.0f, 14.9f, 0.0f}},
        {true, 254.0f, {24.0f, 0.5f, 0.5f}, {-24.0f, -0.5f, 0.49f}},
    };
    StrokeJitter jitter = startedStrokeJitter();
    Ranmar random = startedRanmar();
    Canvas canvas;
    for (const Case& c : cases) {
        Bitmap image(64, 48), depth(64, 48), expectedImage(64, 48), expectedDepth(64, 48);
        const uint32_t base = c.dark ? 0x000000u : 0xFFFFFFu;
        std::fill(image.pixels.begin(), image.pixels.end(), base);
        std::fill(expectedImage.pixels.begin(), expectedImage.pixels.end(), base);
        referenceStroke(canvas, expectedImage, expectedDepth, c.depthScale, c.dark, c.a, c.b,
                        random);
        const ParticleBrush brush{canvas, image, depth, c.depthScale, c.dark};
        brush.drawParticle(c.a, c.b, jitter);
        EXPECT_EQ(image.pixels, expectedImage.pixels) << "dark " << c.dark;
        EXPECT_EQ(depth.pixels, expectedDepth.pixels) << "dark " << c.dark;
        // Sixteen draws per stroke, no more.
        EXPECT_EQ(jitter.next(), random.next());
    }
}

// Strokes of every direction and length, with and without the depths, in
// every palette and at the jitters and widths of larger pictures, onto one
// picture: each must leave what the five lines leave.
TEST(ParticleBrush, ManyStrokesMatchTheirLines) {
    struct Look {
        int32_t jitterScale, lineWidth;
    };
    const Look looks[] = {{256, 1}, {256, 1}, {512, 1}, {922, 2}, {300, 3}, {1024, 4}};
    StrokeJitter jitter = startedStrokeJitter();
    Ranmar random = startedRanmar();
    Ranmar place;
    place.init(77, 5);
    Canvas canvas;
    Bitmap image(160, 120), depth(160, 120), expectedImage(160, 120), expectedDepth(160, 120);
    std::fill(image.pixels.begin(), image.pixels.end(), 0xFFFFFFu);
    expectedImage.pixels = image.pixels;
    for (int stroke = 0; stroke < 3000; ++stroke) {
        const bool dark = stroke % 5 == 0;
        const bool keepDepth = stroke % 3 != 0;
        const Look look = looks[stroke % 6];
        const int32_t palette = stroke % kPaletteCount;
        const int32_t margin = jitterOf(255, look.jitterScale) + look.lineWidth / 2 + 1;
        auto coordinate = [&](int half) {
            return static_cast<float>(place.next() % (2 * (half - margin)) - (half - margin)) +
                   0.25f;
        };
        const Vec3 a{coordinate(80), coordinate(60), static_cast<float>(stroke % 7)};
        const Vec3 b{coordinate(80), coordinate(60), static_cast<float>(stroke % 11) * 0.5f};
        const Bitmap::Cells depthBefore = depth.pixels;
        const ParticleBrush plain{canvas,    expectedImage, expectedDepth,    20.0f,         dark,
                                  keepDepth, palette,       look.jitterScale, look.lineWidth};
        plain.drawPlain(a, b, random);
        const ParticleBrush brush{canvas,        image,     depth,   20.0f,
                                  dark,          keepDepth, palette, look.jitterScale,
                                  look.lineWidth};
        brush.drawParticle(a, b, jitter);
        ASSERT_EQ(image.pixels, expectedImage.pixels) << "stroke " << stroke;
        if (keepDepth) {
            ASSERT_EQ(depth.pixels, expectedDepth.pixels) << "stroke " << stroke;
        } else {
            ASSERT_EQ(depth.pixels, depthBefore) << "stroke " << stroke;
            expectedDepth.pixels = depth.pixels;
        }
    }
    EXPECT_EQ(jitter.next(), random.next());
}

// Unscaled, a draw's jitter is its low three bits; scaled, the low eight
// bits spread evenly over the larger range.
TEST(ParticleBrush, JitterGrowsEvenlyFromTheLowThreeBits) {
    for (const int32_t scale : {256, 512, 1024}) {
        std::vector<int> counts(static_cast<std::size_t>(8 * scale / 256));
        for (int32_t draw = 0; draw < 1 << 11; ++draw) {
            const int32_t d = jitterOf(draw | 0x5A0000, scale);
            if (scale == 256) {
                ASSERT_EQ(d, draw & 7) << draw;
            }
            ASSERT_LT(static_cast<std::size_t>(d), counts.size()) << draw;
            ++counts[static_cast<std::size_t>(d)];
        }
        EXPECT_EQ(counts, std::vector<int>(counts.size(), 2048 * 256 / (8 * scale))) << scale;
    }
}

// Four strokes at once leave what four single strokes leave, light and dark,
// with and without the depths, and take the same draws.
TEST(ParticleBrush, FourAtOnceAreFourStrokes) {
    Ranmar place;
    place.init(19, 4);
    auto coordinate = [&](int half) {
        return static_cast<float>(place.next() % (2 * (half - 8)) - (half - 8)) + 0.75f;
    };
    Canvas canvas;
    Bitmap image(96, 64), depth(96, 64), expectedImage(96, 64), expectedDepth(96, 64);
    std::fill(image.pixels.begin(), image.pixels.end(), 0x406080u);
    expectedImage.pixels = image.pixels;
    StrokeJitter jitter = startedStrokeJitter();
    for (int round = 0; round < 800; ++round) {
        const bool dark = round % 2 == 0;
        const bool keepDepth = round % 5 == 0;
        Vec3 a[4], b[4];
        for (int k = 0; k < 4; ++k) {
            // Depths far apart too, so that shades reach both ends.
            a[k] =
                Vec3{coordinate(48), coordinate(32), static_cast<float>(place.next() % 300) * 0.5f};
            b[k] = Vec3{coordinate(48), coordinate(32),
                        static_cast<float>(place.next() % 300) * 0.25f};
        }
        const int32_t palette = round % kPaletteCount;
        const ParticleBrush brush{canvas, image, depth, 1.7f, dark, keepDepth, palette};
        const ParticleBrush single{canvas, expectedImage, expectedDepth, 1.7f,
                                   dark,   keepDepth,     palette};
        StrokeJitter singles = jitter;
        for (int k = 0; k < 4; ++k) {
            single.drawParticle(a[k], b[k], singles);
        }
        brush.drawFour(a, b, jitter);
        ASSERT_EQ(image.pixels, expectedImage.pixels) << "round " << round;
        ASSERT_EQ(depth.pixels, expectedDepth.pixels) << "round " << round;
        StrokeJitter afterFour = jitter;
        ASSERT_EQ(afterFour.next(), singles.next()) << "round " << round;
    }
}

// Four strokes in a band, any of them across its edges (every one of the
// sixteen masks), leave what the plain strokes leave one by one: those across
// an edge clipped to the band, the others whole. Light and dark, with and
// without depths, unscaled and scaled.
TEST(ParticleBrush, FourInABandAreFourStrokesInIt) {
    Canvas canvas;
    const RowBand band{30, 66};
    Ranmar place;
    place.init(23, 7);
    auto column = [&] { return static_cast<float>(place.next() % 64 - 32) + 0.5f; };
    for (unsigned crossing = 0; crossing < 16; ++crossing) {
        for (int look = 0; look < 4; ++look) {
            const bool dark = look % 2 == 1;
            const bool keepDepth = look >= 2;
            const int32_t jitterScale = look == 3 ? 420 : ParticleBrush::kUnscaledJitter;
            const int32_t lineWidth = look == 3 ? 2 : 1;
            Bitmap image(96, 96), depth(96, 96), expectedImage(96, 96), expectedDepth(96, 96);
            std::fill(image.pixels.begin(), image.pixels.end(), 0x406080u);
            expectedImage.pixels = image.pixels;
            const ParticleBrush brush{canvas,    image, depth,       1.3f,     dark,
                                      keepDepth, 1,     jitterScale, lineWidth};
            const ParticleBrush plain{canvas, expectedImage, expectedDepth, 1.3f, dark, keepDepth,
                                      1,      jitterScale,   lineWidth};
            Vec3 a[4], b[4];
            int32_t draws[4][16];
            Ranmar jitter = startedRanmar();
            for (int k = 0; k < 4; ++k) {
                // Picture rows 0 to 95 are y 48 to -47: across the band's two
                // edges, or inside it, the scaled jitter (13 pixels) included.
                const bool across = (crossing >> k) & 1;
                a[k] = Vec3{column(), across ? 32.0f : 2.0f, static_cast<float>(k)};
                b[k] = Vec3{column(), across ? -32.0f : -2.0f, 2.0f};
                for (int32_t& draw : draws[k]) {
                    draw = jitter.next();
                }
            }
            const int32_t* const each[4] = {draws[0], draws[1], draws[2], draws[3]};
            brush.drawFourInBand(a, b, each, band, crossing);
            for (int k = 0; k < 4; ++k) {
                plain.drawPlainInBand(a[k], b[k], draws[k], (crossing >> k) & 1 ? band : RowBand{});
            }
            ASSERT_EQ(image.pixels, expectedImage.pixels)
                << "mask " << crossing << ", look " << look;
            ASSERT_EQ(depth.pixels, expectedDepth.pixels)
                << "mask " << crossing << ", look " << look;
        }
    }
}

} // namespace
} // namespace bramblewisp
