#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
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

const Arguments kRun{"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "2"};
const std::string kOlder = "an older picture";

bool permissionBitsBindUs() {
    TempDir probe;
    fs::permissions(probe.path(), fs::perms(0555));
    return !std::ofstream(probe.path() / "probe");
}

std::string refusal(const std::string& shown, const std::string& why) {
    return "bramblewisp: -out" + (shown.empty() ? "" : " " + shown) + ": " + why + "\n";
}

// Every -out that cannot work, and one that works in its own way: a refused
// run does no work at all (not a byte on standard output), gives status 2
// and one line; a save that fails at the end keeps the older file. None
// leaves a file behind, and a FIFO is never opened (the alarm would end a
// run that waited on it).
TEST(E2eOut, UnusableOutputsAreRefusedWithOneLine) {
    const std::string longName = std::string(3996, 'n') + ".png";
    struct Case {
        const char* label;
        Arguments out;                            // after kRun
        std::function<void(const fs::path&)> set; // prepares the directory
        int status;
        std::string err;
        std::vector<std::string> entries; // afterwards, besides font.bmp
        bool otherUser = false;           // a run that permission bits bind
        bool fullDisk = false;
    };
    const auto nothing = [](const fs::path&) {};
    const auto older = [](const fs::path& dir) { std::ofstream(dir / "old.png") << kOlder; };
    const std::string expected = "a file name ending in .bmp or .png was expected";
    const Case cases[] = {
        {"no value", {"-out"}, nothing, 2, refusal("", expected), {}},
        {"empty", {"-out", ""}, nothing, 2, refusal("", expected), {}},
        {"jpg", {"-out", "a.jpg"}, nothing, 2, refusal("a.jpg", expected), {}},
        {"trailing dot", {"-out", "a."}, nothing, 2, refusal("a.", expected), {}},
        {"control characters",
         {"-out", "a\x1b[2J\n.gif"},
         nothing,
         2,
         refusal("a\\x1b[2J\\x0a.gif", expected),
         {}},
        {"directory",
         {"-out", "d.png"},
         [](const fs::path& dir) { fs::create_directory(dir / "d.png"); },
         2,
         refusal("d.png", "is a directory"),
         {"d.png"}},
        {"missing directory",
         {"-out", "none/a.png"},
         nothing,
         2,
         refusal("none/a.png", std::string("cannot be written: ") + std::strerror(ENOENT)),
         {}},
        {"read-only directory",
         {"-out", "ro/a.png"},
         [](const fs::path& dir) {
             fs::create_directory(dir / "ro");
             fs::permissions(dir / "ro", fs::perms(0555));
         },
         2,
         refusal("ro/a.png", std::string("cannot be written: ") + std::strerror(EACCES)),
         {"ro"},
         true},
        {"FIFO",
         {"-out", "f.png"},
         [](const fs::path& dir) { ASSERT_EQ(mkfifo((dir / "f.png").c_str(), 0644), 0); },
         2,
         refusal("f.png", "is not a regular file"),
         {"f.png"}},
        {"long name",
         {"-out", longName},
         nothing,
         2,
         refusal(longName, std::string("cannot be written: ") + std::strerror(ENAMETOOLONG)),
         {}},
        {"symbolic link",
         {"-out", "link.png"},
         [](const fs::path& dir) {
             fs::create_directory(dir / "elsewhere");
             std::ofstream(dir / "elsewhere" / "kept.png") << kOlder;
             fs::create_symlink("elsewhere/kept.png", dir / "link.png");
         },
         0,
         refusal("link.png",
                 "is a symbolic link; the picture replaces the link, not the file it points to"),
         {"elsewhere", "link.png"}},
        {"full disk",
         {"-out", "old.png"},
         older,
         1,
         std::string("bramblewisp: cannot write old.png: ") + std::strerror(ENOSPC) + "\n",
         {"old.png"},
         false,
         true},
    };
    std::unique_ptr<OtherUserStage> stage;
    if (!permissionBitsBindUs()) {
        stage = std::make_unique<OtherUserStage>();
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const bool staged = c.otherUser && stage;
        if (staged && !stage->problem().empty()) {
            std::cout << "skipping " << c.label << ": " << stage->problem() << "\n";
            continue;
        }
        TempDir dir(staged ? stage->path() : fs::temp_directory_path());
        if (staged) {
            fs::permissions(dir.path(), fs::perms(0755));
        }
        writeTestFont(dir.path() / "font.bmp");
        c.set(dir.path());
        Arguments arguments = kRun;
        arguments.insert(arguments.end(), c.out.begin(), c.out.end());
        RunSettings settings{dir.path()};
        settings.timeoutSeconds = 60;
        if (c.fullDisk) {
            const fs::path shim = BRAMBLEWISP_SAVE_CALLS_SHIM;
            settings.environment = {"LD_PRELOAD=" + shim.filename().string(),
                                    "LD_LIBRARY_PATH=" + shim.parent_path().string(),
                                    "BRAMBLEWISP_SHIM_FSYNC_ERROR=" + std::to_string(ENOSPC),
                                    "ASAN_OPTIONS=verify_asan_link_order=0"};
        }
        const RunResult run =
            staged ? stage->run(arguments, dir.path()) : runBramblewisp(arguments, settings);
        EXPECT_EQ(run.exitStatus, c.status) << run.describe();
        EXPECT_EQ(run.err, c.err);
        if (c.status == 2) {
            EXPECT_EQ(run.out, "");
        }
        std::vector<std::string> entries{"font.bmp"};
        entries.insert(entries.end(), c.entries.begin(), c.entries.end());
        std::sort(entries.begin(), entries.end());
        EXPECT_EQ(dir.entries(), entries);
        if (c.fullDisk) {
            EXPECT_TRUE(run.out.ends_with("  saving... failed\n")) << run.out;
            EXPECT_EQ(dir.read("old.png"), kOlder);
        }
        if (c.status == 0) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.path() / "link.png")));
            EXPECT_EQ(dir.read("elsewhere/kept.png"), kOlder);
        }
    }
}

// The recipe a PNG carries, pasted back as a command line (the version
// word after the program's name is ignored as any stray word is), draws the
// very pixels of the PNG. Type 3 stops at the detail limit before its twelve
// generations, so the recipe's -iter is the count it grew.
TEST(E2eOut, PngHoldsTheBmpPixelsAndTheRecipeDrawsThemAgain) {
    TempDir dir;
    writeTestFont(dir.path() / "font.bmp");
    Arguments arguments{"-time", "1", "-mem",  "1", "-cpu", "1",        "-iter", "12",
                        "-type", "3", "-seed", "5", "-out", "Ring.PNG", "-dark", "1"};
    ASSERT_EQ(runBramblewisp(arguments, {dir.path()}).exitStatus, 0);
    const std::string png = dir.read("Ring.PNG");

    const std::string key = std::string("tEXtbramblewisp") + '\0';
    const std::size_t at = png.find(key);
    ASSERT_NE(at, std::string::npos);
    const uint32_t length = uint32_t{static_cast<uint8_t>(png[at - 4])} << 24 |
                            uint32_t{static_cast<uint8_t>(png[at - 3])} << 16 |
                            uint32_t{static_cast<uint8_t>(png[at - 2])} << 8 |
                            static_cast<uint8_t>(png[at - 1]);
    const std::string recipe = png.substr(at + key.size(), length - (key.size() - 4));
    EXPECT_EQ(recipe, std::string("bramblewisp ") + BRAMBLEWISP_VERSION +
                          " -time 1 -mem 1 -cpu 1 -seed 5 -iter 9 -dark 1 -prefx 1 -postfx 0"
                          " -spikes 64 -type 3");

    std::istringstream words(recipe);
    Arguments pasted;
    for (std::string word; words >> word;) {
        pasted.push_back(word);
    }
    pasted.erase(pasted.begin()); // the program's name
    TempDir again;
    writeTestFont(again.path() / "font.bmp");
    const RunResult rerun = runBramblewisp(pasted, {again.path()});
    ASSERT_EQ(rerun.exitStatus, 0) << rerun.describe();
    EXPECT_EQ(rerun.err, "");
    const std::string bmp = again.read("testSystem.bmp");
    ASSERT_EQ(bmp.size(), kPictureFileSize);

    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc* rgb =
        stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()),
                              static_cast<int>(png.size()), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr) << stbi_failure_reason();
    ASSERT_EQ(width, 800);
    ASSERT_EQ(height, 600);
    int differing = 0;
    for (int32_t y = 0; y < 600; ++y) {
        for (int32_t x = 0; x < 800; ++x) {
            const stbi_uc* p = rgb + 3 * (y * 800 + x);
            differing += (uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]) != pixelAt(bmp, x, y);
        }
    }
    stbi_image_free(rgb);
    EXPECT_EQ(differing, 0);
}

} // namespace
} // namespace bramblewisp::e2e
