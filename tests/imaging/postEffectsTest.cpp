#include "imaging/postEffects.h"
#include "imaging/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "imaging/backgrounds.h"
#include "random/ranmar.h"

namespace bramblewisp {
namespace {

struct Picture {
    Picture(int32_t width, int32_t height, uint32_t colour)
        : image(width, height), depth(width, height) {
        clearBackground(image, depth, colour);
    }
    void setDepthAt(int x, int y, float z) {
        setDepth(depth, static_cast<std::size_t>(y) * image.width + x, z);
    }

    Canvas canvas;
    Bitmap image;
    Bitmap depth;
};

// The renderer skips writing depths unless the post effect says it reads them.
TEST(PostEffects, OnlyTheOutlinesReadDepths) {
    for (int32_t postfx : {-1, 0, 1, 2, 3, 4}) {
        const std::unique_ptr<PostEffect> effect = createPostEffect(postfx);
        EXPECT_EQ(effect && effect->readsDepth(), postfx == 1 || postfx == 2) << postfx;
    }
}

TEST(OutlineEffect, ShadesTheProcessedCellsOfAFlatBackground) {
    struct Case {
        float low, high;
        uint32_t shaded;
    };
    // k = 0 still loses a unit; the relief setting shades halfway (k = 15).
    for (const Case c : {Case{0.04f, 0.8f, 0xFEFEFE}, Case{-0.1f, 0.1f, 0x9696A0}}) {
        Picture picture(6, 5, 0xFFFFFF);
        OutlineEffect(0x28283C, c.low, c.high).apply(picture.image, picture.depth);
        // (5 - 2) * 6 - 2 cells: the last two of row 2 and rows 3 and 4 stay.
        for (std::size_t i = 0; i < 30; ++i) {
            EXPECT_EQ(picture.image.pixels[i], i < 16 ? c.shaded : 0xFFFFFFu) << i;
        }
    }
}

TEST(OutlineEffect, NearPixelsAgainstTheBackgroundTakeTheShadingColour) {
    Picture picture(6, 6, 0xFFFFFF);
    picture.image.at(1, 2) = 0x808080;
    picture.setDepthAt(1, 2, 0.0f);
    // Its right-hand neighbours are the first cells of the next rows.
    picture.image.at(5, 0) = 0x808080;
    picture.setDepthAt(5, 0, 0.0f);
    // Not a number counts as no rise: the relief setting would otherwise
    // shade it halfway or fully.
    picture.setDepthAt(2, 3, std::numeric_limits<float>::quiet_NaN());
    OutlineEffect(0x28283C, 0.04f, 0.8f).apply(picture.image, picture.depth);
    EXPECT_EQ(picture.image.at(1, 2), 0x27273Bu);
    EXPECT_EQ(picture.image.at(5, 0), 0x27273Bu);

    OutlineEffect(0x28283C, -0.1f, 0.1f).apply(picture.image, picture.depth);
    EXPECT_EQ(picture.image.at(2, 3), 0xFDFDFDu);
    EXPECT_EQ(picture.image.at(3, 3), picture.canvas.blend(0x28283C, 0xFEFEFE, 15));
}

// The workers share the outline's cells: any number of them shades every
// cell as one thread does, at both settings, over depths of every kind.
TEST(OutlineEffect, WorkersShadeAsOneThread) {
    Ranmar random;
    random.init(5, 5);
    Picture alone(97, 61, 0);
    for (std::size_t i = 0; i < alone.image.cellCount(); ++i) {
        alone.image.pixels[i] = static_cast<uint32_t>(random.next());
        const int32_t draw = random.next();
        setDepth(alone.depth, i, draw % 4 == 0 ? kFarDepth : static_cast<float>(draw % 97) * 0.01f);
    }
    for (const float low : {0.04f, -0.1f}) {
        const OutlineEffect outline(0x28283C, low, low + 0.2f);
        Picture shared(97, 61, 0);
        shared.image.pixels = alone.image.pixels;
        shared.depth.pixels = alone.depth.pixels;
        outline.apply(alone.image, alone.depth);
        for (const int workers : {2, 3, 7}) {
            Bitmap image(97, 61);
            image.pixels = shared.image.pixels;
            platform::WorkerPool pool(workers);
            outline.apply(image, shared.depth, pool);
            EXPECT_EQ(image.pixels, alone.image.pixels) << "low " << low << ", workers " << workers;
        }
    }
}

TEST(SmoothEffect, AveragesInPlaceInOneFlatPass) {
    // A 4 x 4 picture: only (1, 1) to (2, 2), six cells in sequence order,
    // change. The values were worked out by hand: each cell sees the new
    // values on its left and above and the old ones on its right and below;
    // (0, 2) has (3, 1) on its left.
    Bitmap::Cells before(16, 0);
    before[0] = 0xFF123456; // outside the processed run, and never a neighbour
    before[4] = 100 * 0x010101u;
    before[6] = 0xAB000000 | 200 * 0x010101u;
    before[15] = 0xFF00FF00;
    Bitmap::Cells after = before;
    const uint32_t smoothed[] = {75, 18, 4, 26, 25, 10};
    for (int i = 0; i < 6; ++i) {
        after[5 + i] = smoothed[i] * 0x010101u;
    }
    Picture picture(4, 4, 0);
    picture.image.pixels = before;
    SmoothEffect(1).apply(picture.image, picture.depth);
    EXPECT_EQ(picture.image.pixels, after);
}

TEST(PostEffects, LeaveUniformAndTooSmallPicturesAlone) {
    Picture uniform(7, 5, 0x3C5A78);
    SmoothEffect(1).apply(uniform.image, uniform.depth);
    EXPECT_TRUE(std::all_of(uniform.image.pixels.begin(), uniform.image.pixels.end(),
                            [](uint32_t cell) { return cell == 0x3C5A78u; }));
    for (const int32_t width : {1, 8}) {
        Picture flat(width, 2, 0xFFFFFF);
        OutlineEffect(0x28283C, 0.04f, 0.8f).apply(flat.image, flat.depth);
        SmoothEffect(1).apply(flat.image, flat.depth);
        EXPECT_TRUE(std::all_of(flat.image.pixels.begin(), flat.image.pixels.end(),
                                [](uint32_t cell) { return cell == 0xFFFFFFu; }));
    }
}

} // namespace
} // namespace bramblewisp
