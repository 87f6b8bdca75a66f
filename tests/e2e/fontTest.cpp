#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/pictureFiles.h"
#include "e2e/runProgram.h"

namespace bramblewisp::e2e {
namespace {

const std::vector<std::string> kRun{"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "2"};
const std::string kAlphabet = " abcdefghijklmnopqrstuvwxyz0123456789.,:?";

struct Line {
    std::string text;
    int32_t x;
    int32_t y;
};

uint32_t blend(uint32_t picture, uint32_t glyph, bool add) {
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>(picture >> shift & 0xFF);
        const int b = static_cast<int>(glyph >> shift & 0xFF);
        result |= static_cast<uint32_t>(add ? std::min(a + b, 255) : std::max(a - b, 0)) << shift;
    }
    return result;
}

// Every font that cannot be used, whatever is wrong with it, costs one line
// on standard error and nothing else: the run and its picture are those of a
// run without a font.
TEST(E2eFont, UnusableFontIsReportedOnceAndTheRunGoesOn) {
    TempDir missing;
    const RunResult reference = runBramblewisp(kRun, {missing.path()});
    std::string valid;
    {
        TempDir scratch;
        writeTestFont(scratch.path() / "font.bmp");
        valid = scratch.read("font.bmp");
    }
    std::vector<std::pair<std::string, std::string>> fonts; // what is wrong, the file
    for (std::size_t size = 0; size < 54; ++size) {
        fonts.emplace_back("cut after " + std::to_string(size) + " bytes", valid.substr(0, size));
    }
    fonts.emplace_back("not a BMP at all", "GIF89a" + std::string(200, 'x'));
    fonts.emplace_back("cut inside its pixel data", valid.substr(0, valid.size() - 1));
    // Widths and heights of 0, negative (top-down rows), huge, one past the
    // largest side; pixel data that starts at or far past the end.
    const std::pair<std::size_t, uint32_t> fields[] = {
        {18, 0},           {18, 0xFFFFFFFCu},
        {18, 0x7FFFFFFFu}, {18, 16385},
        {22, 0},           {22, 0xFFFFFFECu},
        {22, 0x7FFFFFFFu}, {22, 16385},
        {10, 0xFFFFFFFFu}, {10, static_cast<uint32_t>(valid.size())}};
    for (const auto& [at, value] : fields) {
        std::string font = valid;
        put32(font, at, value);
        fonts.emplace_back("field " + std::to_string(at) + " = " + std::to_string(value), font);
    }
    fonts.emplace_back("a directory", "");

    for (const auto& [problem, bytes] : fonts) {
        SCOPED_TRACE(problem);
        TempDir dir;
        if (problem == "a directory") {
            std::filesystem::create_directory(dir.path() / "font.bmp");
        } else {
            dir.write("font.bmp", bytes);
        }
        const RunResult run = runBramblewisp(kRun, {dir.path()});
        EXPECT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_TRUE(std::regex_match(
            run.err, std::regex("bramblewisp: font\\.bmp [^\n]*; the picture gets no text\n")))
            << run.err;
        EXPECT_EQ(run.out, reference.out);
        EXPECT_TRUE(dir.read("testSystem.bmp") == missing.read("testSystem.bmp"));
    }
}

// A font that is not a regular file is never read: a FIFO would hang the
// open without a writer and the reads with an idle one. Its line on
// standard error waits for the stage's " OK" (both streams go to one file
// here to show the order).
TEST(E2eFont, FontThatIsNotARegularFileIsLeftOutWithoutWaiting) {
    TempDir missing;
    const RunResult reference = runBramblewisp(kRun, {missing.path()});
    const std::string firstLine = "  create bitmaps... OK\n";
    std::vector<std::string> merged{"-c", "exec \"$0\" \"$@\" 2>&1", BRAMBLEWISP_BINARY};
    merged.insert(merged.end(), kRun.begin(), kRun.end());
    for (const std::string kind : {"FIFO", "FIFO with an idle writer", "device", "directory"}) {
        SCOPED_TRACE(kind);
        TempDir dir;
        const std::filesystem::path font = dir.path() / "font.bmp";
        int writer = -1;
        if (kind == "device") {
            std::filesystem::create_symlink("/dev/zero", font);
        } else if (kind == "directory") {
            std::filesystem::create_directory(font);
        } else {
            ASSERT_EQ(mkfifo(font.c_str(), 0644), 0);
            if (kind != "FIFO") {
                writer = open(font.c_str(), O_RDWR | O_CLOEXEC);
            }
        }
        RunSettings settings{dir.path()};
        settings.timeoutSeconds = 20;
        const RunResult run = runProgram("/bin/sh", merged, settings);
        if (writer >= 0) {
            close(writer);
        }
        EXPECT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_EQ(run.out,
                  firstLine +
                      "bramblewisp: font.bmp is not a regular file; the picture gets no text\n" +
                      reference.out.substr(firstLine.size()));
        EXPECT_TRUE(dir.read("testSystem.bmp") == missing.read("testSystem.bmp"));
    }
}

// A batch has no stage line to wait for: without a font it says so before
// its pictures' lines, in the plural, and with -text 0 and a sheet it says
// what the sheet loses instead.
TEST(E2eFont, BatchWithoutAFontSaysSoFirst) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"-count", "2"}, "the pictures get no text"},
        {{"-count", "2", "-text", "0", "-sheet", "s.bmp"}, "the sheet shows no seeds"}};
    for (const auto& [extra, without] : cases) {
        SCOPED_TRACE(without);
        TempDir dir;
        std::vector<std::string> merged{"-c", "exec \"$0\" \"$@\" 2>&1", BRAMBLEWISP_BINARY};
        merged.insert(merged.end(), kRun.begin(), kRun.end());
        merged.insert(merged.end(), extra.begin(), extra.end());
        const RunResult run = runProgram("/bin/sh", merged, RunSettings{dir.path()});
        EXPECT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_TRUE(std::regex_search(run.out, std::regex("^bramblewisp: font\\.bmp cannot be "
                                                          "opened: [^\n]*; " +
                                                          without + "\n  seed 0: ")))
            << run.out;
    }
}

// The picture with text is the one without, changed exactly under the three
// lines' glyph cells: subtracted on a light picture, added on a dark one.
TEST(E2eFont, TextChangesOnlyItsGlyphCells) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        std::vector<std::string> arguments = kRun;
        arguments.insert(arguments.end(), {"-dark", dark ? "1" : "0"});
        TempDir plain;
        TempDir lettered;
        writeTestFont(lettered.path() / "font.bmp");
        const RunResult without = runBramblewisp(arguments, {plain.path()});
        const RunResult run = runBramblewisp(arguments, {lettered.path()});
        ASSERT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, without.out);

        std::smatch count;
        ASSERT_TRUE(std::regex_search(run.out, count, std::regex("get \\((\\d+)\\) ")));
        constexpr int32_t kF = kTestFontHeight;
        const Line lines[] = {{count[1].str() + " particles", 5, 600 - (2 * kF + 10)},
                              {"size doesnt change, its 1.0 all the time", 25, 595 - kF},
                              {"bramblewisp by wrenfold", 5, 5}};
        std::string expected = plain.read("testSystem.bmp");
        for (const Line& line : lines) {
            for (std::size_t i = 0; i < line.text.size(); ++i) {
                const auto glyph = static_cast<int32_t>(kAlphabet.find(line.text[i]));
                for (int32_t r = 0; r < kF; ++r) {
                    for (int32_t c = 0; c < kGlyphWidth; ++c) {
                        const int32_t x = line.x + static_cast<int32_t>(i) * kGlyphWidth + c;
                        const int32_t y = line.y + r;
                        setPixel(expected, x, y,
                                 blend(pixelAt(expected, x, y), testGlyphPixel(glyph, r, c), dark));
                    }
                }
            }
        }
        EXPECT_TRUE(lettered.read("testSystem.bmp") == expected);
    }
}

} // namespace
} // namespace bramblewisp::e2e
