#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

#include "e2e/pictureFiles.h"
#include "e2e/runProgram.h"

namespace bramblewisp::e2e {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kRun{"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "3"};

void expectFailedSave(const RunResult& run, int error) {
    EXPECT_EQ(run.exitStatus, 1) << run.describe();
    const std::string ending = "draw  OK\n  saving... failed\n";
    ASSERT_GE(run.out.size(), ending.size());
    EXPECT_EQ(run.out.substr(run.out.size() - ending.size()), ending);
    EXPECT_EQ(run.err, std::string("bramblewisp: cannot write testSystem.bmp: ") +
                           std::strerror(error) + "\n");
}

// Root, or whoever else may override permission bits, writes into a
// read-only directory anyway.
bool permissionBitsBindUs() {
    TempDir probe;
    fs::permissions(probe.path(), fs::perms(0555));
    return !std::ofstream(probe.path() / "probe");
}

TEST(E2eSave, ReadOnlyDirectoryFailsWithoutLeavingAFile) {
    std::unique_ptr<OtherUserStage> stage;
    if (!permissionBitsBindUs()) {
        stage = std::make_unique<OtherUserStage>();
        if (!stage->problem().empty()) {
            GTEST_SKIP() << stage->problem();
        }
    }
    TempDir dir(stage ? stage->path() : fs::temp_directory_path());
    writeTestFont(dir.path() / "font.bmp"); // keeps standard error to the one line
    fs::permissions(dir.path(), fs::perms(0555));
    const RunResult run = stage ? stage->run(kRun, dir.path()) : runBramblewisp(kRun, {dir.path()});
    expectFailedSave(run, EACCES);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"font.bmp"});
}

// In a sticky directory only a file's owner may replace it: the new picture
// can be written beside the old one but not put in its place. The run must
// be another user's.
TEST(E2eSave, OlderPictureThatCannotBeReplacedStaysAsItWas) {
    const OtherUserStage stage;
    if (!stage.problem().empty()) {
        GTEST_SKIP() << stage.problem();
    }
    TempDir dir(stage.path());
    writeTestFont(dir.path() / "font.bmp");
    ASSERT_EQ(runBramblewisp({"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "1"}, {dir.path()})
                  .exitStatus,
              0);
    const std::string older = dir.read("testSystem.bmp");
    ASSERT_EQ(older.size(), kPictureFileSize);
    fs::permissions(dir.path(), fs::perms(01777));
    const RunResult run = stage.run(kRun, dir.path());
    expectFailedSave(run, EPERM);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"font.bmp", "testSystem.bmp"}));
    EXPECT_TRUE(dir.read("testSystem.bmp") == older);
}

// A file size limit stands in for a full disk: the picture's write fails
// part way (the program ignores SIGXFSZ, which would otherwise kill it), the
// half-written temporary file goes, and an older picture stays whole.
TEST(E2eSave, FullDiskFailsAndKeepsAnOlderPicture) {
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "over an older picture" : "into an empty directory");
        TempDir dir;
        writeTestFont(dir.path() / "font.bmp");
        if (older) {
            dir.write("testSystem.bmp", "an older picture");
        }
        RunSettings settings{dir.path()};
        settings.fileSizeLimit = 100000;
        expectFailedSave(runBramblewisp(kRun, settings), EFBIG);
        const std::vector<std::string> left =
            older ? std::vector<std::string>{"font.bmp", "testSystem.bmp"}
                  : std::vector<std::string>{"font.bmp"};
        EXPECT_EQ(dir.entries(), left);
        if (older) {
            EXPECT_EQ(dir.read("testSystem.bmp"), "an older picture");
        }
    }
}

} // namespace
} // namespace bramblewisp::e2e
