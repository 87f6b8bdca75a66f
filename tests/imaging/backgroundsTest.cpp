#include "imaging/backgrounds.h"
#include "imaging/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <utility>
#include <vector>

namespace bramblewisp {
namespace {

struct Picture {
    Picture(int32_t width = 800, int32_t height = 600)
        : image(width, height), depth(width, height) {
        std::fill(image.pixels.begin(), image.pixels.end(), 0xAB123456u);
    }
    bool depthIsFarEverywhere() const {
        return std::all_of(depth.pixels.begin(), depth.pixels.end(),
                           [&](uint32_t cell) { return std::bit_cast<float>(cell) == kFarDepth; });
    }

    Canvas canvas;
    Bitmap image;
    Bitmap depth;
};

template <typename Kind> std::vector<uint32_t> applied(int32_t seed, bool dark) {
    Picture picture;
    Kind(seed, dark).fill(picture.canvas, picture.image, picture.depth);
    EXPECT_TRUE(picture.depthIsFarEverywhere());
    return {picture.image.pixels.begin(), picture.image.pixels.end()};
}

// In a light run a black grid line darkens every pixel it crosses, so the
// grid's rows and columns are those without a single white pixel.
std::vector<int> fullyDarkened(const Bitmap& image, bool columns) {
    std::vector<int> found;
    for (int line = (columns ? image.width : image.height) - 1; line >= 0; --line) {
        bool white = false;
        for (int i = 0; i < (columns ? image.height : image.width) && !white; ++i) {
            white = (columns ? image.at(line, i) : image.at(i, line)) == 0xFFFFFFu;
        }
        if (!white) {
            found.push_back(line);
        }
    }
    return found;
}

// A generator stuck at zero: every ribbon is then white (grid) or black
// (fan), a = b = 0, and its ends fall one past the last row (grid) or column
// (fan), so clamped they all land there and leave the rest to the lines.
template <typename Kind> Kind stalled(bool dark) {
    Kind background(0, dark);
    std::fill(std::begin(background.random.u), std::end(background.random.u), 0);
    background.random.c = background.random.cd = 0;
    return background;
}

TEST(Backgrounds, PlainFillsWithTheBaseColourAndFarDepth) {
    for (const bool dark : {false, true}) {
        Picture picture(8, 4);
        PlainBackground(dark).fill(picture.canvas, picture.image, picture.depth);
        EXPECT_EQ(picture.image.pixels, Bitmap::Cells(32, dark ? 0 : 0xFFFFFF));
        EXPECT_TRUE(picture.depthIsFarEverywhere());
    }
}

TEST(Backgrounds, WaveGridDrawsThirtyFourRowsAndThirtyNineColumns) {
    Picture picture;
    stalled<WaveGridBackground>(false).fill(picture.canvas, picture.image, picture.depth);
    const std::vector<int> rows = fullyDarkened(picture.image, false);
    const std::vector<int> columns = fullyDarkened(picture.image, true);
    ASSERT_EQ(rows.size(), 34u);
    EXPECT_EQ(std::vector<int>(rows.begin(), rows.begin() + 5),
              (std::vector<int>{599, 597, 594, 590, 585}));
    EXPECT_EQ(rows.back(), 5);
    ASSERT_EQ(columns.size(), 39u);
    EXPECT_EQ(std::vector<int>(columns.begin(), columns.begin() + 3),
              (std::vector<int>{799, 797, 794}));
    EXPECT_EQ(columns.back(), 20);

    // The lines fade from strength 8 at the bottom and right edges to 1.
    const int strengths[] = {8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2};
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const uint32_t line = picture.canvas.blend(0, 0xFFFFFF, i < 13 ? strengths[i] : 1);
        EXPECT_EQ(picture.image.at(columns[i], 100), line) << columns[i];
        if (i > 0 && i < rows.size()) {
            EXPECT_EQ(picture.image.at(100, rows[i]), line) << rows[i];
        }
    }

    // All sixteen ribbons were clamped onto the bottom row, under its line.
    uint32_t bottom = 0xFFFFFF;
    for (int ribbon = 0; ribbon < 16; ++ribbon) {
        bottom = picture.canvas.blend(0xFFFFFF, bottom, 3);
    }
    EXPECT_EQ(picture.image.at(100, 599), picture.canvas.blend(0x000000, bottom, 8));
    EXPECT_EQ(picture.image.at(100, 598), 0xFFFFFFu);

    // Seeded ribbons change nothing about the grid. Between the vertical lines
    // and where no ribbon reaches the bottom (the row above is still white),
    // the strength-8 line leaves 189 of 255.
    std::vector<bool> onRow(600), onColumn(800);
    for (const int row : rows) {
        onRow[row] = true;
    }
    for (const int column : columns) {
        onColumn[column] = true;
    }
    int bare = 0;
    for (const int32_t seed : {0, 4, 99}) {
        Picture seeded;
        WaveGridBackground(seed, false).fill(seeded.canvas, seeded.image, seeded.depth);
        for (int y = 0; y < 600; ++y) {
            for (int x = 0; x < 800; ++x) {
                if (onRow[y] || onColumn[x]) {
                    ASSERT_NE(seeded.image.at(x, y), 0xFFFFFFu) << x << "," << y;
                }
                if (y == 599 && !onColumn[x] && seeded.image.at(x, 598) == 0xFFFFFFu) {
                    ++bare;
                    EXPECT_EQ(seeded.image.at(x, 599), 0xBDBDBDu) << x;
                }
            }
        }
    }
    EXPECT_GT(bare, 100);
}

// In a larger picture each grid line is the band of pixels that its one
// pixel at 800 x 600 becomes, counted from the bottom and right edges, in
// the palette's grid colour.
TEST(Backgrounds, LargerPicturesMagnifyTheGrid) {
    Picture reference;
    stalled<WaveGridBackground>(false).fill(reference.canvas, reference.image, reference.depth);
    const std::vector<int> rows = fullyDarkened(reference.image, false);
    const std::vector<int> columns = fullyDarkened(reference.image, true);
    struct Case {
        int32_t width, height, palette;
    };
    for (const Case c : {Case{1600, 1200, 0}, Case{2400, 1800, 3}}) {
        Picture picture(c.width, c.height);
        WaveGridBackground grid = stalled<WaveGridBackground>(false);
        grid.palette = &paletteOf(c.palette);
        grid.fill(picture.canvas, picture.image, picture.depth);
        const int factor = c.width / 800;
        auto magnified = [&](const std::vector<int>& lines, int32_t size, int32_t referenceSize) {
            std::vector<int> bands;
            for (const int line : lines) {
                for (int k = 0; k < factor; ++k) {
                    bands.push_back(size - 1 - (referenceSize - 1 - line) * factor - k);
                }
            }
            return bands;
        };
        EXPECT_EQ(fullyDarkened(picture.image, false), magnified(rows, c.height, 600)) << c.width;
        EXPECT_EQ(fullyDarkened(picture.image, true), magnified(columns, c.width, 800)) << c.width;
        EXPECT_EQ(picture.image.at(1, c.height - 2),
                  picture.canvas.blend(paletteOf(c.palette).gridOnLight, 0xFFFFFF, 8));
    }
}

TEST(Backgrounds, WaveFanClampsRibbonsOntoTheLastColumn) {
    Picture picture;
    stalled<WaveFanBackground>(false).fill(picture.canvas, picture.image, picture.depth);
    // Row 301 meets no fan line near the right edge: only the six ribbons.
    uint32_t ribbons = 0xFFFFFF;
    for (int ribbon = 0; ribbon < 6; ++ribbon) {
        ribbons = picture.canvas.blend(0x000000, ribbons, 4);
    }
    EXPECT_EQ(picture.image.at(799, 301), ribbons);
    EXPECT_EQ(picture.image.at(798, 301), 0xFFFFFFu);
    for (int y = 0; y < 600; ++y) {
        ASSERT_NE(picture.image.at(799, y), 0xFFFFFFu) << y;
    }
}

TEST(Backgrounds, SeedChoosesTheRibbonsAndOnlyFiveDrawsEach) {
    EXPECT_EQ(applied<WaveGridBackground>(17, false), applied<WaveGridBackground>(17, false));
    EXPECT_NE(applied<WaveGridBackground>(17, false), applied<WaveGridBackground>(18, false));
    EXPECT_EQ(applied<WaveFanBackground>(17, true), applied<WaveFanBackground>(17, true));
    EXPECT_NE(applied<WaveFanBackground>(17, true), applied<WaveFanBackground>(18, true));

    const auto drawAfter = [](int32_t seed, int skipped) {
        Ranmar random;
        random.init(seed, 0);
        for (int i = 0; i < skipped; ++i) {
            random.next();
        }
        return random.next();
    };
    Picture picture;
    WaveGridBackground grid(-3, false);
    WaveFanBackground fan(41, true);
    grid.fill(picture.canvas, picture.image, picture.depth);
    fan.fill(picture.canvas, picture.image, picture.depth);
    EXPECT_EQ(grid.random.next(), drawAfter(-3, 80));
    EXPECT_EQ(fan.random.next(), drawAfter(41, 30));
}

// Every pixel of a few hundred seeds' backgrounds of each kind, light and
// dark taking turns, against the hash they were recorded with: moving any
// constant of the wave formulas by one float step, either way, changes the
// hash (tried for each, with either number of seeds). Unoptimised builds
// check fewer seeds.
TEST(Backgrounds, HundredsOfSeedsDrawAsRecorded) {
#ifdef __OPTIMIZE__
    constexpr int32_t kSeeds = 200;
    constexpr uint64_t kGrid = 0x40b318bb317537f5, kFan = 0xa3f0dc375242b791;
#else
    constexpr int32_t kSeeds = 50;
    constexpr uint64_t kGrid = 0x3c42ec018eb189a3, kFan = 0xec9582b705b263c4;
#endif
    auto hashOf = [](auto background) {
        Picture picture;
        uint64_t hash = 14695981039346656037u; // FNV-1a over the cells
        for (int32_t seed = 0; seed < kSeeds; ++seed) {
            background(seed, seed % 2 == 1).fill(picture.canvas, picture.image, picture.depth);
            for (const uint32_t cell : picture.image.pixels) {
                hash = (hash ^ cell) * 1099511628211u;
            }
        }
        return hash;
    };
    EXPECT_EQ(hashOf([](int32_t seed, bool dark) { return WaveGridBackground(seed, dark); }),
              kGrid);
    EXPECT_EQ(hashOf([](int32_t seed, bool dark) { return WaveFanBackground(seed, dark); }), kFan);
}

// The workers share the columns (grid) or the rows (fan, each fan line cut
// to their bands): any number of them leaves what one thread leaves, in odd,
// small and larger pictures, with depths or without.
TEST(Backgrounds, WorkersLeaveWhatOneThreadLeaves) {
    const std::pair<int32_t, int32_t> sizes[] = {{803, 601}, {17, 41}, {1700, 1300}};
    for (const auto& [width, height] : sizes) {
        for (const int32_t kind : {0, 1, 2}) {
            const bool dark = kind == 2;
            Picture alone(width, height);
            createBackground(kind, 7, dark, kind)->fill(alone.canvas, alone.image, alone.depth);
            for (const int workers : {2, 3, 7}) {
                Picture shared(width, height);
                platform::WorkerPool pool(workers);
                createBackground(kind, 7, dark, kind)
                    ->fill(shared.canvas, shared.image, shared.depth, pool);
                EXPECT_EQ(shared.image.pixels, alone.image.pixels)
                    << width << " x " << height << ", kind " << kind << ", workers " << workers;
                EXPECT_TRUE(shared.depthIsFarEverywhere());
            }
            // Without depths (no one reads them) the picture is the same.
            Picture flat(width, height);
            Bitmap noDepths(0, 0);
            platform::WorkerPool pool(2);
            createBackground(kind, 7, dark, kind)->fill(flat.canvas, flat.image, noDepths, pool);
            EXPECT_EQ(flat.image.pixels, alone.image.pixels) << width << " x " << height;
        }
    }
}

} // namespace
} // namespace bramblewisp
