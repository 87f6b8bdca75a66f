#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <regex>

#include "e2e/pictureFiles.h"
#include "e2e/runProgram.h"

namespace bramblewisp::e2e {
namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;

Arguments withOptions(const std::string& iterations, const Arguments& more) {
    Arguments arguments{"-time", "1", "-mem", "1", "-cpu", "1", "-iter", iterations};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

// The files a run of these options alone writes for each seed, by name.
void expectSingleRuns(const TempDir& batch, const std::string& iterations, const Arguments& options,
                      const std::vector<int>& seeds, const std::string& pattern) {
    for (const int seed : seeds) {
        TempDir single;
        writeTestFont(single.path() / "font.bmp");
        std::string name = pattern;
        name.replace(name.find("%d"), 2, std::to_string(seed));
        Arguments arguments = options;
        arguments.insert(arguments.end(), {"-seed", std::to_string(seed), "-out", name});
        ASSERT_EQ(runBramblewisp(withOptions(iterations, arguments), {single.path()}).exitStatus,
                  0);
        EXPECT_EQ(batch.read(name), single.read(name)) << name;
    }
}

// Every temporary file is gone, and only these names are left beside the font.
void expectOnly(const TempDir& dir, std::vector<std::string> names) {
    names.push_back("font.bmp");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(dir.entries(), names);
}

RunSettings withShim(const fs::path& dir, const std::vector<std::string>& variables) {
    const fs::path shim = BRAMBLEWISP_SAVE_CALLS_SHIM;
    RunSettings settings{dir};
    settings.environment = {"LD_PRELOAD=" + shim.filename().string(),
                            "LD_LIBRARY_PATH=" + shim.parent_path().string(),
                            "ASAN_OPTIONS=verify_asan_link_order=0"};
    settings.environment.insert(settings.environment.end(), variables.begin(), variables.end());
    settings.timeoutSeconds = 120;
    return settings;
}

// Pictures of several types, PNGs with their recipes among them, each the
// single run's file; the lines in seed order, and the summary.
TEST(E2eBatch, EveryPictureEqualsItsSingleRun) {
    const Arguments sets[] = {
        {"-type", "0", "-postfx", "1"},
        {"-type", "3", "-dark", "1", "-prefx", "2"},
        {"-type", "4", "-spikes", "9"},
        {"-type", "1", "-width", "1002", "-height", "750", "-palette", "5", "-text", "0"}};
    for (const Arguments& set : sets) {
        TempDir dir;
        writeTestFont(dir.path() / "font.bmp");
        Arguments arguments = set;
        arguments.insert(arguments.end(), {"-seed", "40", "-count", "5", "-out", "t-%d.png"});
        RunSettings settings{dir.path()};
        settings.environment = {"BRAMBLEWISP_WORKERS=3"};
        const RunResult run = runBramblewisp(withOptions("4", arguments), settings);
        ASSERT_EQ(run.exitStatus, 0) << run.describe();
        std::string lines;
        for (int seed = 40; seed < 45; ++seed) {
            const std::string n = std::to_string(seed);
            lines += "  seed " + n + ": [0-9]+ particles, [0-9]+ ms, t-" + n + "\\.png\n";
        }
        lines += "  5 pictures of seeds 40 to 44 saved in [0-9.]+ s, 3 at a time\n";
        EXPECT_TRUE(std::regex_match(run.out, std::regex(lines))) << run.out;
        expectSingleRuns(dir, "4", set, {40, 41, 42, 43, 44}, "t-%d.png");
    }
}

// Counts that fall back, seeds that would overflow and files that cannot be
// written are refused before any work; a disk that fills half way leaves
// the pictures written before complete, names each one that was not, and
// ends with status 1.
TEST(E2eBatch, BadInputsFallBackOrAreRefused) {
    const std::string fallback = ": expected 1 to 1000000; using 1\n";
    const std::string full = std::strerror(ENOSPC);
    // clang-format off
    const struct {
        Arguments options;
        std::vector<std::string> shim;   // variables for the save-calls shim
        int status;
        std::string err;                 // each line after "bramblewisp: "
        std::vector<std::string> left;   // besides font.bmp
    } cases[] = {
        {{"-count", "0"}, {}, 0, "-count 0" + fallback, {"a.bmp"}},
        {{"-count", "-5"}, {}, 0, "-count -5" + fallback, {"a.bmp"}},
        {{"-count", "99999999"}, {}, 0, "-count 99999999" + fallback, {"a.bmp"}},
        {{"-count", "x"}, {}, 0, "-count 0" + fallback, {"a.bmp"}},
        {{"-count", "9", "-seed", "2147483640"}, {}, 2,
            "-count 9: the seeds 2147483640 to 2147483648 pass 2147483647, the largest seed\n", {}},
        {{"-count", "3", "-out", "ro/a.bmp"}, {}, 2,
            "-out ro/a.bmp: cannot be written: " + std::string(std::strerror(EACCES)) + "\n", {"ro"}},
        {{"-count", "3", "-sheet", "no/s.png"}, {}, 2,
            "-sheet no/s.png: cannot be written: " + std::string(std::strerror(ENOENT)) + "\n", {}},
        {{"-count", "3", "-out", "%d/a.bmp"}, {}, 2,
            "-out %d/a.bmp: %d can stand in the file's name only, not in a directory\n", {}},
        {{"-count", "3", "-out", "a%d.bmp", "-sheet", "a1.bmp"}, {}, 2,
            "-sheet a1.bmp: would replace the picture of seed 1\n", {}},
        {{"-count", "5"}, {"BRAMBLEWISP_SHIM_FROM=3", "BRAMBLEWISP_SHIM_FSYNC_ERROR=28"}, 1,
            "cannot write a-2.bmp: " + full + "\nbramblewisp: cannot write a-3.bmp: " + full +
            "\nbramblewisp: cannot write a-4.bmp: " + full + "\n", {"a-0.bmp", "a-1.bmp"}},
    };
    // clang-format on
    const std::unique_ptr<OtherUserStage> stage = stageWherePermissionsDoNotBind();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        const bool readOnly = c.left == std::vector<std::string>{"ro"};
        const bool staged = readOnly && stage;
        if (staged && !stage->problem().empty()) {
            std::cout << "skipping the read-only directory: " << stage->problem() << "\n";
            continue;
        }
        TempDir dir(staged ? stage->path() : fs::temp_directory_path());
        fs::permissions(dir.path(), fs::perms(0755));
        writeTestFont(dir.path() / "font.bmp");
        if (readOnly) {
            fs::create_directory(dir.path() / "ro");
            fs::permissions(dir.path() / "ro", fs::perms(0555));
        }
        Arguments options = c.options;
        if (std::find(options.begin(), options.end(), "-out") == options.end()) {
            options.insert(options.end(), {"-out", "a.bmp"});
        }
        const Arguments arguments = withOptions("2", options);
        RunSettings settings = withShim(dir.path(), c.shim);
        settings.environment.push_back("BRAMBLEWISP_WORKERS=1");
        const RunResult run =
            staged ? stage->run(arguments, dir.path()) : runBramblewisp(arguments, settings);
        EXPECT_EQ(run.exitStatus, c.status) << run.describe();
        EXPECT_EQ(run.err, "bramblewisp: " + c.err);
        EXPECT_EQ(run.out.empty(), c.status == 2) << run.out;
        expectOnly(dir, c.left);
        if (c.status == 1) {
            EXPECT_NE(run.out.find("  2 of 5 pictures of seeds 0 to 4 saved in "),
                      std::string::npos)
                << run.out;
            expectSingleRuns(dir, "2", {}, {0, 1}, "a-%d.bmp");
        }
    }
}

// A Ctrl+C while the second picture is saved: the saves under way finish,
// the drawing stops, and the run ends by the signal; every file left is a
// whole picture and the summary says where to go on.
TEST(E2eBatch, InterruptedBatchLeavesOnlyCompletePictures) {
    TempDir dir;
    writeTestFont(dir.path() / "font.bmp");
    const Arguments options{"-type", "1",    "-seed",   "7",      "-count",
                            "12",    "-out", "p%d.png", "-sheet", "sheet.png"};
    RunSettings settings = withShim(
        dir.path(), {"BRAMBLEWISP_SHIM_FROM=2", "BRAMBLEWISP_SHIM_SIGNAL=" + std::to_string(SIGINT),
                     "BRAMBLEWISP_WORKERS=2"});
    const RunResult run = runBramblewisp(withOptions("6", options), settings);
    EXPECT_EQ(run.signal, SIGINT) << run.describe();
    std::smatch summary;
    ASSERT_TRUE(std::regex_search(
        run.out, summary,
        std::regex("  stopped by SIGINT after [0-9.]+ s: ([0-9]+) of 12 pictures saved; "
                   "to go on: -seed ([0-9]+) -count [0-9]+\n$")))
        << run.out;
    std::vector<int> seeds;
    for (const std::string& name : dir.entries()) {
        if (name != "font.bmp") {
            ASSERT_TRUE(std::regex_match(name, std::regex("p([0-9]+)\\.png"))) << name;
            seeds.push_back(std::stoi(name.substr(1)));
        }
    }
    EXPECT_EQ(std::to_string(seeds.size()), summary[1].str());
    EXPECT_GE(seeds.size(), 2u);
    EXPECT_LT(seeds.size(), 12u);
    expectSingleRuns(dir, "6", {"-type", "1"}, seeds, "p%d.png");
}

} // namespace
} // namespace bramblewisp::e2e
