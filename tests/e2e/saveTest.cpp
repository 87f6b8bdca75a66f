#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
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

TEST(E2eSave, ReadOnlyDirectoryFailsWithoutLeavingAFile) {
    const std::unique_ptr<OtherUserStage> stage = stageWherePermissionsDoNotBind();
    if (stage && !stage->problem().empty()) {
        GTEST_SKIP() << stage->problem();
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

// A preloaded shim notes the save's calls and may deliver a signal while the
// finished temporary file is synced. Without one, the file's bytes reach the
// disk before the rename and the new name with its directory after it, so a
// power cut leaves the older picture or the whole new one; with one, the
// temporary file goes, the run still ends by that signal and the older
// picture stays as it was.
TEST(E2eSave, SaveIsSyncedAndAnEndingSignalLeavesNoTemporaryFile) {
    for (const int signal : {0, SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        TempDir logs;
        writeTestFont(dir.path() / "font.bmp");
        dir.write("testSystem.bmp", "an older picture");
        RunSettings settings{dir.path()};
        // By name through the library path: a preload list splits at blanks.
        const fs::path shim = BRAMBLEWISP_SAVE_CALLS_SHIM;
        settings.environment = {"LD_PRELOAD=" + shim.filename().string(),
                                "LD_LIBRARY_PATH=" + shim.parent_path().string(),
                                "BRAMBLEWISP_SHIM_LOG=" + (logs.path() / "calls").string(),
                                "BRAMBLEWISP_SHIM_SIGNAL=" + std::to_string(signal),
                                // The shim comes before a sanitizer's runtime.
                                "ASAN_OPTIONS=verify_asan_link_order=0"};
        const RunResult run = runBramblewisp(kRun, settings);
        EXPECT_EQ(run.signal, signal) << run.describe();
        EXPECT_EQ(logs.read("calls"),
                  signal == 0 ? "fsync file\nrename\nfsync directory\n" : "fsync file\n");
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"font.bmp", "testSystem.bmp"}));
        EXPECT_EQ(dir.read("testSystem.bmp").size(),
                  signal == 0 ? kPictureFileSize : std::string("an older picture").size());
    }
}

} // namespace
} // namespace bramblewisp::e2e
