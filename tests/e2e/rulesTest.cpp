#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

#include "e2e/pictureFiles.h"
#include "e2e/runProgram.h"

namespace bramblewisp::e2e {
namespace {

const std::vector<std::string> kRun{"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "2"};

std::vector<std::string> withRules(const std::string& path, std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = kRun;
    arguments.insert(arguments.end(), {"-rules", path});
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

// A rules file that cannot be used is refused before any work: one line on
// standard error, status 2, nothing on standard output, no picture. A FIFO
// is never opened for reading, so it cannot hang the run.
TEST(E2eRules, UnusableFileIsRefusedBeforeAnyWork) {
    const struct {
        std::string kind;
        std::string path;
        std::string expected;
    } cases[] = {
        {"missing", "none.toml", "none.toml: cannot be opened: No such file or directory"},
        {"directory", "folder", "folder: is not a regular file"},
        {"FIFO", "pipe", "pipe: is not a regular file"},
        {"bad", "bad.toml", "bad.toml:1:14: iterations must be a whole number from 0 to 100"},
        {"empty path", "", "-rules: needs the path of a rules file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        TempDir dir;
        std::filesystem::create_directory(dir.path() / "folder");
        ASSERT_EQ(mkfifo((dir.path() / "pipe").c_str(), 0644), 0);
        dir.write("bad.toml", "iterations = -1\n");
        RunSettings settings{dir.path()};
        settings.timeoutSeconds = 20;
        const RunResult run = runBramblewisp(withRules(c.path), settings);
        EXPECT_EQ(run.exitStatus, 2) << run.describe();
        EXPECT_EQ(run.out, "");
        // A missing file may also say where else it was looked for.
        const std::string line = "bramblewisp: " + c.expected;
        EXPECT_EQ(run.err.substr(0, line.size()), line);
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        if (c.kind != "missing") {
            EXPECT_EQ(run.err, line + "\n");
        }
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "testSystem.bmp"));
    }
}

// The file wins over -type with one line; a system whose particles never
// shrink grows until the detail limit and still ends with a picture.
TEST(E2eRules, FileWinsOverTypeAndEndlessGrowthEndsWithAPicture) {
    TempDir dir;
    writeTestFont(dir.path() / "font.bmp");
    dir.write("doubling.toml", "iterations = 100\n[seeds]\nspikes = 1\n"
                               "[[group]]\nlayer = 0\nweight = 1\nrules = [\n"
                               "  { target = 0, turn = [1, 2, 3], jitter = true, scale = 1, step = "
                               "1 },\n"
                               "  { target = 0, turn = [3, 2, 1], jitter = true, scale = 1, step = "
                               "0 },\n]\n");
    const RunResult run = runBramblewisp({"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "100",
                                          "-type", "3", "-rules", "doubling.toml"},
                                         {dir.path()});
    EXPECT_EQ(run.exitStatus, 0) << run.describe();
    EXPECT_EQ(run.err, "bramblewisp: -type 3: ignored: the rules file doubling.toml gives the "
                       "system\n");
    EXPECT_NE(run.out.find(" (detail level reached sub-pixel - there's no point to continue)"),
              std::string::npos)
        << run.out;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "testSystem.bmp"));
}

} // namespace
} // namespace bramblewisp::e2e
