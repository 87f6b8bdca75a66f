#include <gtest/gtest.h>

#include <tuple>

#include "e2e/pictureFiles.h"
#include "e2e/runProgram.h"

namespace bramblewisp::e2e {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
const std::string kSaved = "  saving... OK\n";

bool endsWith(const std::string& text, const std::string& ending) {
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// With a budget of a day the run grows until something else stops it. By the
// guard's estimate the generations up to the detail limit need well over
// 64 MiB of address space, so under that limit the guard must end the growth
// before an allocation fails.
TEST(E2eMemory, TimedRunUnderAnAddressSpaceLimitStopsOnMemory) {
    if (kSanitizedBuild) {
        GTEST_SKIP() << "address-space limits do not apply to sanitized programs";
    }
    TempDir dir;
    writeTestFont(dir.path() / "font.bmp");
    const RunResult run = runBramblewisp(
        {"-time", "100000", "-mem", "1", "-cpu", "1", "-type", "0"}, {dir.path(), 64 * kMiB});
    ASSERT_EQ(run.exitStatus, 0) << run.describe();
    EXPECT_NE(run.out.find(" (looks like RAM is ending) OK\n  render...get ("), std::string::npos)
        << run.out;
    EXPECT_TRUE(endsWith(run.out, kSaved));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(dir.read("testSystem.bmp").size(), kPictureFileSize);
}

// The guard sees every limit, RLIMIT_DATA too, and with /proc hidden still
// the limits it can learn without it: timed runs of every growth pattern stop
// growing in time and save their picture.
TEST(E2eMemory, TimedRunsStopOnMemoryUnderEveryLimit) {
    if (kSanitizedBuild) {
        GTEST_SKIP() << "memory limits do not apply to sanitized programs";
    }
    // Address space and data limits in MiB, and whether /proc is hidden.
    for (const auto& [space, data, hideProc] :
         {std::tuple{0, 10, false}, {0, 40, false}, {0, 24, true}, {40, 0, true}}) {
        for (const std::string type : {"0", "1", "3", "4"}) {
            SCOPED_TRACE(testing::Message() << space << " / " << data << " MiB, no /proc "
                                            << hideProc << ", type " << type);
            TempDir dir;
            writeTestFont(dir.path() / "font.bmp");
            RunSettings settings{dir.path(), space * kMiB};
            settings.dataLimit = data * kMiB;
            settings.hideProc = hideProc;
            const RunResult run = runBramblewisp(
                {"-time", "100000", "-mem", "1", "-cpu", "1", "-type", type}, settings);
            if (run.exitStatus == kCannotHideProc) {
                GTEST_SKIP() << "no mount namespace here to hide /proc in";
            }
            ASSERT_EQ(run.exitStatus, 0) << run.describe();
            EXPECT_NE(run.out.find(" (looks like RAM is ending) OK\n"), std::string::npos);
            EXPECT_TRUE(endsWith(run.out, kSaved));
            EXPECT_EQ(dir.read("testSystem.bmp").size(), kPictureFileSize);
        }
    }
}

TEST(E2eMemory, AddressSpaceLimitsNeverKillTheRun) {
    if (kSanitizedBuild) {
        GTEST_SKIP() << "address-space limits do not apply to sanitized programs";
    }
    for (const uint64_t mebibytes : {16, 48, 128, 192, 1024}) {
        for (const std::string type : {"0", "1", "2", "3", "4"}) {
            SCOPED_TRACE(std::to_string(mebibytes) + " MiB, type " + type);
            TempDir dir;
            writeTestFont(dir.path() / "font.bmp");
            const RunResult run = runBramblewisp(
                {"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "12", "-type", type},
                {dir.path(), mebibytes * kMiB});
            EXPECT_EQ(run.exitStatus, 0) << run.describe();
            EXPECT_TRUE(endsWith(run.out, kSaved)) << run.out;
            EXPECT_EQ(dir.read("testSystem.bmp").size(), kPictureFileSize);
        }
    }
}

// Below about 10 MiB the bitmaps no longer fit; below about 6 MiB not even
// the shared libraries load, which is the loader's business, not ours.
TEST(E2eMemory, LimitTooSmallToStartGivesTheOutOfMemoryExit) {
    if (kSanitizedBuild) {
        GTEST_SKIP() << "address-space limits do not apply to sanitized programs";
    }
    int cleanExits = 0;
    for (const uint64_t mebibytes : {6, 7, 8, 9}) {
        SCOPED_TRACE(std::to_string(mebibytes) + " MiB");
        TempDir dir;
        writeTestFont(dir.path() / "font.bmp");
        const RunResult run = runBramblewisp({"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "3"},
                                             {dir.path(), mebibytes * kMiB});
        if (run.exitStatus == 127 && run.err.find("shared librar") != std::string::npos) {
            continue;
        }
        // Just above that, the C++ runtime loads but finds no room for its
        // own reserve of exceptions, so the first one it throws ends the
        // process: the runtime's business too, before the program can act.
        if (run.err == "terminate called without an active exception\n") {
            continue;
        }
        if (run.exitStatus == 0) {
            EXPECT_TRUE(endsWith(run.out, kSaved));
            continue;
        }
        EXPECT_EQ(run.exitStatus, 1) << run.describe();
        EXPECT_EQ(run.err, "bramblewisp: out of memory\n");
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"font.bmp"});
        ++cleanExits;
    }
    EXPECT_GT(cleanExits, 0) << "no limit was small enough to stop the run";
}

// The font is optional, so a sheet that claims 16384 x 16384 cells (1 GiB)
// is reported and left out rather than ending the run: found short before
// anything is allocated when the file holds three pixel bytes, refused by
// the memory left when it holds them all (a sparse file).
TEST(E2eMemory, FontTooLargeForItsFileOrTheMemoryLeftIsLeftOut) {
    if (kSanitizedBuild) {
        GTEST_SKIP() << "address-space limits do not apply to sanitized programs";
    }
    TempDir plain;
    const std::vector<std::string> arguments{"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "2"};
    const RunResult without = runBramblewisp(arguments, {plain.path(), 256 * kMiB});
    const std::pair<uintmax_t, const char*> cases[] = {
        {57, "ends inside its pixel data (it holds 3 of the 805306368 bytes its header gives)"},
        {54 + 805306368, "is too large for the memory left"}};
    for (const auto& [size, problem] : cases) {
        TempDir huge;
        writeTestFont(huge.path() / "font.bmp");
        std::string font = huge.read("font.bmp").substr(0, 54);
        put32(font, 18, 16384);
        put32(font, 22, 16384);
        huge.write("font.bmp", font);
        std::filesystem::resize_file(huge.path() / "font.bmp", size);
        const RunResult run = runBramblewisp(arguments, {huge.path(), 256 * kMiB});
        ASSERT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_EQ(run.err,
                  std::string("bramblewisp: font.bmp ") + problem + "; the picture gets no text\n");
        EXPECT_EQ(run.out, without.out);
        EXPECT_TRUE(huge.read("testSystem.bmp") == plain.read("testSystem.bmp"));
    }
}

TEST(E2eMemory, HugeSpikeCountSeedsAMillionParticles) {
    TempDir dir;
    writeTestFont(dir.path() / "font.bmp");
    const RunResult run = runBramblewisp(
        {"-time", "1", "-mem", "1", "-cpu", "1", "-spikes", "2000000000", "-iter", "0"},
        {dir.path()});
    ASSERT_EQ(run.exitStatus, 0) << run.describe();
    EXPECT_NE(run.out.find("  render...get (1000000) sort"), std::string::npos) << run.out;
    EXPECT_TRUE(endsWith(run.out, kSaved));
}

} // namespace
} // namespace bramblewisp::e2e
