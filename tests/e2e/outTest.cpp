#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include <sys/stat.h>

#include "e2e/pictureFiles.h"
#include "e2e/runProgram.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace bramblewisp::e2e {
namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;

const std::string kOlder = "an older picture";

enum class Given { none, directory, readOnly, fifo, link, fullDisk };

void prepare(Given given, const fs::path& dir) {
    switch (given) {
    case Given::directory:
        fs::create_directory(dir / "d.png");
        break;
    case Given::readOnly:
        fs::create_directory(dir / "ro");
        fs::permissions(dir / "ro", fs::perms(0555));
        break;
    case Given::fifo:
        ASSERT_EQ(mkfifo((dir / "f.png").c_str(), 0644), 0);
        break;
    case Given::link:
        fs::create_directory(dir / "elsewhere");
        std::ofstream(dir / "elsewhere" / "kept.png") << kOlder;
        fs::create_symlink("elsewhere/kept.png", dir / "link.png");
        break;
    case Given::fullDisk:
        std::ofstream(dir / "old.png") << kOlder;
        break;
    case Given::none:
        break;
    }
}

// Every -out that cannot work, and a link that works its own way: a refused
// run does no work (not a byte on standard output) and ends with status 2
// and one line; a save that fails at the end keeps the older file. None
// leaves a file behind, and a FIFO is never opened (the alarm would end a
// run that waited on it).
TEST(E2eOut, UnusableOutputsAreRefusedWithOneLine) {
    const std::string longName = std::string(3996, 'n') + ".png";
    const std::string expected = ": a file name ending in .bmp or .png was expected\n";
    const auto unwritable = [](int error) {
        return std::string(": cannot be written: ") + std::strerror(error) + "\n";
    };
    // clang-format off
    const struct {
        Arguments out;                 // after the run's options
        Given given;
        int status;
        std::string err;               // after "bramblewisp: "
        std::vector<std::string> left; // besides font.bmp
    } cases[] = {
        {{"-out"}, Given::none, 2, "-out" + expected, {}},
        {{"-out", ""}, Given::none, 2, "-out" + expected, {}},
        {{"-out", "a.jpg"}, Given::none, 2, "-out a.jpg" + expected, {}},
        {{"-out", "a."}, Given::none, 2, "-out a." + expected, {}},
        {{"-out", "a\x1b[2J\n.gif"}, Given::none, 2, "-out a\\x1b[2J\\n.gif" + expected, {}},
        {{"-out", "d.png"}, Given::directory, 2, "-out d.png: is a directory\n", {"d.png"}},
        {{"-out", "no/a.png"}, Given::none, 2, "-out no/a.png" + unwritable(ENOENT), {}},
        {{"-out", "ro/a.png"}, Given::readOnly, 2, "-out ro/a.png" + unwritable(EACCES), {"ro"}},
        {{"-out", "f.png"}, Given::fifo, 2, "-out f.png: is not a regular file\n", {"f.png"}},
        {{"-out", longName}, Given::none, 2, "-out " + longName + unwritable(ENAMETOOLONG), {}},
        {{"-out", "link.png"}, Given::link, 0, "-out link.png: is a symbolic link; the picture "
            "replaces the link, not the file it points to\n", {"elsewhere", "link.png"}},
        {{"-out", "old.png"}, Given::fullDisk, 1,
            std::string("cannot write old.png: ") + std::strerror(ENOSPC) + "\n", {"old.png"}},
    };
    // clang-format on
    const std::unique_ptr<OtherUserStage> stage = stageWherePermissionsDoNotBind();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        const bool staged = c.given == Given::readOnly && stage;
        if (staged && !stage->problem().empty()) {
            std::cout << "skipping the read-only directory: " << stage->problem() << "\n";
            continue;
        }
        TempDir dir(staged ? stage->path() : fs::temp_directory_path());
        fs::permissions(dir.path(), fs::perms(0755));
        writeTestFont(dir.path() / "font.bmp");
        prepare(c.given, dir.path());
        Arguments arguments{"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "2"};
        arguments.insert(arguments.end(), c.out.begin(), c.out.end());
        RunSettings settings{dir.path()};
        settings.timeoutSeconds = 60;
        if (c.given == Given::fullDisk) {
            // The sync of the written PNG fails, as a full disk makes it fail.
            const fs::path shim = BRAMBLEWISP_SAVE_CALLS_SHIM;
            settings.environment = {"LD_PRELOAD=" + shim.filename().string(),
                                    "LD_LIBRARY_PATH=" + shim.parent_path().string(),
                                    "BRAMBLEWISP_SHIM_FSYNC_ERROR=" + std::to_string(ENOSPC),
                                    "ASAN_OPTIONS=verify_asan_link_order=0"};
        }
        const RunResult run =
            staged ? stage->run(arguments, dir.path()) : runBramblewisp(arguments, settings);
        EXPECT_EQ(run.exitStatus, c.status) << run.describe();
        EXPECT_EQ(run.err, "bramblewisp: " + c.err);
        EXPECT_TRUE(c.status == 2   ? run.out.empty()
                    : c.status == 1 ? run.out.ends_with("  saving... failed\n")
                                    : run.out.ends_with("  saving... OK\n"))
            << run.out;
        std::vector<std::string> left{"font.bmp"};
        left.insert(left.end(), c.left.begin(), c.left.end());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(dir.entries(), left);
        const char* kept = c.given == Given::fullDisk ? "old.png"
                           : c.given == Given::link   ? "elsewhere/kept.png"
                                                      : nullptr;
        if (kept != nullptr) {
            EXPECT_EQ(dir.read(kept), kOlder);
        }
    }
}

// The recipe a PNG carries, pasted back as a command line (the version is a
// stray word to the program), draws the very pixels of the PNG. Type 3 stops
// at the detail limit before its twelve generations: the recipe's -iter is
// the count it grew.
TEST(E2eOut, PngHoldsTheBmpPixelsAndItsRecipeDrawsThemAgain) {
    TempDir dir;
    TempDir again;
    writeTestFont(dir.path() / "font.bmp");
    writeTestFont(again.path() / "font.bmp");
    ASSERT_EQ(runBramblewisp({"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "12", "-type", "3",
                              "-seed", "5", "-out", "Ring.PNG", "-dark", "1"},
                             {dir.path()})
                  .exitStatus,
              0);
    const std::string png = dir.read("Ring.PNG");
    const std::string key = std::string("tEXtbramblewisp") + '\0';
    const std::size_t at = png.find(key);
    ASSERT_NE(at, std::string::npos);
    uint32_t length = 0; // the chunk's, before its type
    for (std::size_t i = at - 4; i < at; ++i) {
        length = length << 8 | static_cast<uint8_t>(png[i]);
    }
    const std::string recipe = png.substr(at + key.size(), length + 4 - key.size());
    EXPECT_EQ(recipe, std::string("bramblewisp ") + BRAMBLEWISP_VERSION +
                          " -time 1 -mem 1 -cpu 1 -seed 5 -iter 9 -dark 1 -prefx 1 -postfx 0"
                          " -spikes 64 -type 3");
    std::istringstream words(recipe.substr(recipe.find(' ')));
    const RunResult rerun = runBramblewisp(
        {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()},
        {again.path()});
    ASSERT_EQ(rerun.exitStatus, 0) << rerun.describe();
    const std::string bmp = again.read("testSystem.bmp");
    ASSERT_EQ(bmp.size(), kPictureFileSize);

    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc* rgb =
        stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()),
                              static_cast<int>(png.size()), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr) << stbi_failure_reason();
    ASSERT_EQ(width * height, 800 * 600);
    int differing = 0;
    for (int32_t i = 0; i < 800 * 600; ++i) {
        const stbi_uc* p = rgb + 3 * i;
        differing +=
            (uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]) != pixelAt(bmp, i % 800, i / 800);
    }
    stbi_image_free(rgb);
    EXPECT_EQ(differing, 0);
}

} // namespace
} // namespace bramblewisp::e2e
