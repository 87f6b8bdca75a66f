#include "app/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/consoleTranscript.h"
#include "app/picture.h"
#include "e2e/runProgram.h"
#include "imaging/bmp.h"
#include "imaging/contactSheet.h"

namespace bramblewisp {
namespace {

Settings settingsOf(std::vector<std::string> words) {
    words.insert(words.begin(), {"bramblewisp", "-time", "1", "-mem", "1", "-cpu", "1"});
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    return *parseSettings(Options{static_cast<int32_t>(argv.size()), argv.data()});
}

std::unique_ptr<Bitmap> readPicture(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return nullptr;
    }
    BmpReadResult read = readBmp(in);
    std::fclose(in);
    return std::move(read.bitmap);
}

// A clock that stands still, memory that never runs short, no stop.
BatchSources stillSources() {
    BatchSources sources;
    sources.budget = {[] { return int64_t{1000}; }, [] { return int64_t{0}; },
                      [] { return uint32_t{0xFFFFFFFF}; }};
    sources.freeBytes = [] { return uint64_t{1} << 40; };
    sources.stopSignal = [] { return 0; };
    return sources;
}

// Each picture drawn on three workers is the picture drawn alone, its line
// comes in seed order, and its thumbnail sits in its cell of the sheet; a
// tall picture without text still has its seed below it.
TEST(BatchTest, PicturesLinesAndSheetCellsInSeedOrder) {
    const e2e::TempDir dir;
    const std::string out = (dir.path() / "p%d.bmp").string();
    const std::string sheet = (dir.path() / "sheet.bmp").string();
    const Settings settings = settingsOf(
        {"-iter",  "3",   "-type",  "4",   "-seed",   "-2",  "-count",   "5", "-out",  out,
         "-sheet", sheet, "-width", "240", "-height", "320", "-palette", "2", "-text", "0"});
    const std::unique_ptr<Bitmap> font = readPicture(BRAMBLEWISP_SOURCE_DIR "/font.bmp");
    ASSERT_NE(font, nullptr);
    ConsoleTranscript transcript;
    platform::WorkerPool workers(3);
    ASSERT_EQ(drawBatch(settings, font.get(), transcript.console, workers, stillSources()), 0);

    const std::unique_ptr<Bitmap> contactSheet = readPicture(sheet);
    ASSERT_NE(contactSheet, nullptr);
    ContactSheet want(5, 3, 240, 320, font.get(), kFontCellWidth, false);
    ASSERT_EQ(contactSheet->width, want.image.width);
    ASSERT_EQ(contactSheet->height, want.image.height);
    std::string lines;
    for (int32_t seed = -2; seed <= 2; ++seed) {
        Settings single = settings;
        single.seed = seed;
        RunBudget budget(1, stillSources().budget);
        Bitmap image(240, 320);
        Progress quiet;
        platform::WorkerPool alone(1);
        const int32_t particles =
            drawPicture(single, image, font.get(), budget, quiet, alone).particles;
        const std::string path = picturePath(single);
        lines += "  seed " + std::to_string(seed) + ": " + std::to_string(particles) +
                 " particles, 0 ms, " + path + "\n";
        const std::unique_ptr<Bitmap> saved = readPicture(path);
        ASSERT_NE(saved, nullptr) << path;
        EXPECT_EQ(saved->pixels, image.pixels) << path;
        want.place(seed + 2, image, seed);
    }
    EXPECT_EQ(contactSheet->pixels, want.image.pixels);
    EXPECT_EQ(transcript.text(),
              lines + "  5 pictures of seeds -2 to 2 saved in 0.0 s, 3 at a time; sheet " + sheet +
                  "\n");
}

// Memory as each thread's first picture sees it: most of it gone once growth
// has begun, as if the pictures beside it had taken it; then no more goes.
std::atomic<int> testRound{0};
struct ThreadMemory {
    int round = -1;
    int samples = 0;
};
thread_local ThreadMemory threadMemory;

uint32_t memoryBesideOthers() {
    if (threadMemory.round != testRound) {
        threadMemory = {testRound, 0};
    }
    return ++threadMemory.samples <= 5 ? uint32_t{1} << 30 : uint32_t{100} << 20;
}

// A picture that the memory guard stopped while others were drawn is drawn
// again alone and shows its whole growth, several of them waiting their
// turns at once; drawn alone from the start, the stop stands, as in the
// single run.
TEST(BatchTest, PictureThatMemoryStoppedBesideOthersIsDrawnAgainAlone) {
    const e2e::TempDir dir;
    const Settings settings =
        settingsOf({"-iter", "3", "-count", "6", "-out", (dir.path() / "m%d.bmp").string()});
    for (const int atOnce : {3, 1}) {
        ++testRound;
        BatchSources sources = stillSources();
        sources.budget.freeBytes = memoryBesideOthers;
        ConsoleTranscript transcript;
        platform::WorkerPool workers(atOnce);
        ASSERT_EQ(drawBatch(settings, nullptr, transcript.console, workers, sources), 0);
        const std::string text = transcript.text();
        const std::size_t note = text.find(" (looks like RAM is ending)\n");
        if (atOnce == 3) {
            EXPECT_EQ(note, std::string::npos) << text;
            continue;
        }
        ASSERT_NE(note, std::string::npos) << text;
        EXPECT_EQ(text.rfind("  seed ", note), 0u) << text;
        EXPECT_EQ(text.find("(looks", note + 2), std::string::npos) << text;
    }
}

// Pictures drawn side by side leave every picture's memory guard what it
// needs: even when all the others fill their room while one grows, its
// guard does not stop it, at any size, as long as a picture takes no more
// than its bound: at least the largest peak resident size measured of a
// run at -iter 12 (type 2). A gigabyte free draws two 800 x 600 pictures at
// once.
TEST(BatchTest, PicturesAtOnceNeverStopAGuard) {
    const struct {
        const char* width;
        const char* height;
        uint64_t peak;
    } sizes[] = {{"800", "600", uint64_t{69} << 20}, {"3840", "2160", uint64_t{262} << 20}};
    for (const auto& size : sizes) {
        const Settings settings = settingsOf(
            {"-iter", "12", "-count", "1000", "-width", size.width, "-height", size.height});
        const uint64_t one = pictureMemoryBound(settings);
        EXPECT_GE(one, size.peak) << size.width;
        for (const uint64_t free : {uint64_t{200} << 20, uint64_t{1} << 30, uint64_t{3} << 30,
                                    uint64_t{4} << 30, uint64_t{6} << 30, uint64_t{64} << 30}) {
            const int32_t atOnce = picturesAtOnce(settings, free, 1000);
            EXPECT_GE(atOnce, free >= uint64_t{1} << 30 && settings.width == 800 ? 2 : 1) << free;
            const auto sample = [](uint64_t bytes) {
                return static_cast<uint32_t>(std::min<uint64_t>(bytes, 0xFFFFFFFF));
            };
            std::vector<uint32_t> samples{sample(free), sample(free), sample(free),
                                          sample(free - std::min(free, atOnce * one))};
            std::size_t taken = 0;
            RunBudget budget(1, {[] { return int64_t{1}; }, [] { return int64_t{0}; },
                                 [&] { return samples[std::min(taken++, samples.size() - 1)]; }});
            budget.chargeParsing();
            budget.sampleBeforeGrowth();
            EXPECT_FALSE(atOnce > 1 && budget.memoryEnding()) << free << ": " << atOnce;
        }
    }
}

// The names of a batch's files, and the names refused before any work.
TEST(BatchTest, NamesBySeed) {
    const struct {
        const char* pattern;
        bool several;
        const char* name; // of seed 17
    } names[] = {
        {"tree-%d.png", true, "tree-17.png"},
        {"tree-%d.png", false, "tree-17.png"},
        {"a%d-%d.bmp", true, "a17-17.bmp"},
        {"100%%-%d.png", true, "100%-17.png"},
        {"%%d.png", true, "%d-17.png"},
        {"50%.png", true, "50%-17.png"},
        {"testSystem.bmp", true, "testSystem-17.bmp"},
        {"x.y/pic", true, "x.y/pic-17"},
        {"pic.png", false, "pic.png"},
        {"%d", true, "17"},
    };
    for (const auto& n : names) {
        EXPECT_EQ(nameForSeed(n.pattern, 17, n.several), n.name) << n.pattern;
    }
    const struct {
        std::vector<std::string> options;
        const char* where; // none: accepted
    } problems[] = {
        {{"-count", "2", "-seed", "2147483647"}, "-count 2"},
        {{"-count", "2", "-seed", "2147483646"}, nullptr},
        {{"-count", "2", "-out", "d%d/a.png"}, "-out d%d/a.png"},
        {{"-count", "2", "-out", "d%%d/%d.png"}, nullptr},
        {{"-count", "300", "-sheet", "s%d/a.png"}, "-sheet s%d/a.png"},
        {{"-count", "300", "-out", "p%d.png", "-sheet", "p%d.png"}, "-sheet p%d.png"},
        {{"-count", "300", "-out", "p%d.png", "-sheet", "p.png"}, nullptr},
        {{"-count", "300", "-seed", "5", "-sheet", "testSystem.bmp"}, "-sheet testSystem.bmp"},
    };
    for (const auto& p : problems) {
        const std::optional<NamesProblem> problem = namesProblem(settingsOf(p.options));
        EXPECT_EQ(problem ? problem->where : "none", p.where ? p.where : "none");
    }
}

} // namespace
} // namespace bramblewisp
