#include <gtest/gtest.h>

#include "e2e/pictureFiles.h"
#include "e2e/runProgram.h"

namespace bramblewisp::e2e {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kRun{"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "2"};

// The picture of this build's program run with font (none when empty) in
// its working directory.
std::string pictureWithFont(const fs::path& font) {
    TempDir dir;
    if (!font.empty()) {
        fs::copy_file(font, dir.path() / "font.bmp");
    }
    runBramblewisp(kRun, {dir.path()});
    return dir.read("testSystem.bmp");
}

// cmake --install into one prefix, the tree then moved to another: the
// program finds the font installed with it from any directory, after the
// working directory's own, and names the places it looked at when neither
// has one.
TEST(E2eInstall, MovedInstallationFindsItsFont) {
    TempDir root;
    const fs::path installed = fs::canonical(root.path()) / "installed";
    const fs::path moved = fs::canonical(root.path()) / "moved";
    const RunResult install = runProgram(
        BRAMBLEWISP_CMAKE, {"--install", BRAMBLEWISP_BUILD_DIR, "--prefix", installed.string()},
        {root.path()});
    ASSERT_EQ(install.exitStatus, 0) << install.describe();
    const RunResult page =
        runProgram("/bin/gzip", {"-dc", (installed / "share/man/man1/bramblewisp.1.gz").string()},
                   {root.path()});
    EXPECT_NE(page.out.find(".I " + installed.string() + "/share/bramblewisp/font.bmp"),
              std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(installed / "share/doc/bramblewisp/LICENSE"));
    fs::rename(installed, moved);

    TempDir scratch;
    writeTestFont(scratch.path() / "test.bmp");
    const fs::path testFont = scratch.path() / "test.bmp";
    const fs::path ourFont = moved / "share/bramblewisp/font.bmp";
    const std::string bare = pictureWithFont({});
    ASSERT_NE(pictureWithFont(ourFont), bare);

    const std::string nothing = "bramblewisp: font.bmp cannot be opened: No such file or directory "
                                "(looked in the working directory and at " +
                                ourFont.string() + "); the picture gets no text\n";
    struct Case {
        const char* what;
        bool keepInstalledFont;
        fs::path localFont;
        fs::path seenFont; // the font the picture must show
        std::string err;
    };
    const Case cases[] = {{"installed font", true, {}, ourFont, ""},
                          {"local font first", true, testFont, testFont, ""},
                          {"no font anywhere", false, {}, {}, nothing}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string expected = pictureWithFont(c.seenFont);
        if (!c.keepInstalledFont) {
            fs::remove(ourFont);
        }
        TempDir dir;
        if (!c.localFont.empty()) {
            fs::copy_file(c.localFont, dir.path() / "font.bmp");
        }
        const RunResult run = runProgram((moved / "bin/bramblewisp").string(), kRun, {dir.path()});
        EXPECT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_EQ(run.err, c.err);
        EXPECT_TRUE(dir.read("testSystem.bmp") == expected);
    }
}

} // namespace
} // namespace bramblewisp::e2e
