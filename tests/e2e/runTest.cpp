#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <regex>

#include <fcntl.h>
#include <unistd.h>

#include "e2e/pictureFiles.h"
#include "e2e/runProgram.h"
#include "usageText.h"

namespace bramblewisp::e2e {
namespace {

using Arguments = std::vector<std::string>;

const Arguments kRequired{"-time", "1", "-mem", "1", "-cpu", "1"};

Arguments with(Arguments more) {
    more.insert(more.begin(), kRequired.begin(), kRequired.end());
    return more;
}

const std::string kFirstStages =
    "  create bitmaps... OK\n  pre effect... OK\n  create system... OK\n";

// 64 seeds; a tip leaves a copy and three tips, a copy starts one tip:
// 64 -> 256 -> 896 -> 3072. Too few list walks (5) for the spinner to turn.
const std::string kThreeGenerations = kFirstStages + "  evolve...  \b 1  \b 2  \b 3  OK\n" +
                                      "  render...get (3072) sort bbox draw  OK\n  saving... OK\n";

std::string expectedHeader() {
    std::string header = "BM";
    // Size, two reserved, pixel offset, header size, 800 x 600, one plane of
    // 24 bits, no compression, no image size, 72 dpi (2835 pixels per metre) both ways, no colour
    // counts.
    const std::pair<uint32_t, int> fields[] = {{1440054, 4}, {0, 4},    {54, 4}, {40, 4}, {800, 4},
                                               {600, 4},     {1, 2},    {24, 2}, {0, 4},  {0, 4},
                                               {2835, 4},    {2835, 4}, {0, 4},  {0, 4}};
    for (const auto& [value, bytes] : fields) {
        for (int i = 0; i < bytes; ++i) {
            header += static_cast<char>(value >> (8 * i));
        }
    }
    return header;
}

void expectPicture(const std::string& picture) {
    ASSERT_EQ(picture.size(), kPictureFileSize);
    EXPECT_EQ(picture.substr(0, 54), expectedHeader());
}

std::string renderedCount(const std::string& out) {
    std::smatch match;
    return std::regex_search(out, match, std::regex("get \\((\\d+)\\) ")) ? match[1].str() : "";
}

TEST(E2eRun, MissingRequiredOptionPrintsOnlyTheUsage) {
    TempDir dir;
    // A font that cannot be read would be reported if it were opened.
    std::filesystem::create_directory(dir.path() / "font.bmp");
    const std::pair<Arguments, std::string> cases[] = {
        {{}, ""},
        {{"-time", "1", "-mem", "1"}, ""},
        {{"-time", "1", "-mem", "1", "-cpu"}, ""},
        {{"-timeout", "1", "-mem", "1", "-cpu", "1"},
         "bramblewisp: ignoring unknown option -timeout\n"}};
    for (const auto& [arguments, err] : cases) {
        const RunResult run = runBramblewisp(arguments, {dir.path()});
        EXPECT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_EQ(run.out, kExpectedUsage);
        EXPECT_EQ(run.err, err);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"font.bmp"});
    }
}

// -h, --help and --version answer wherever they stand, the first of them
// when there are several, and the run does nothing else: no warning, no file.
TEST(E2eRun, HelpAndVersionAnswerAndDoNothingElse) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "font.bmp");
    const std::pair<Arguments, bool> cases[] = {// the arguments, and whether help comes
                                                {{"--help"}, true},
                                                {with({"-tpye", "3", "-h", "-out", "a.png"}), true},
                                                {{"--HELP", "--version"}, true},
                                                {{"-seed", "3", "--version", "-h"}, false}};
    for (const auto& [arguments, help] : cases) {
        SCOPED_TRACE(arguments[0]);
        const RunResult run = runBramblewisp(arguments, {dir.path()});
        EXPECT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_EQ(run.err, "");
        if (help) {
            EXPECT_TRUE(run.out.starts_with(kExpectedUsage + "\n")) << run.out;
            EXPECT_NE(run.out.find("\n  -out       File to save"), std::string::npos) << run.out;
        } else {
            EXPECT_EQ(run.out, "bramblewisp " BRAMBLEWISP_VERSION "\n");
        }
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"font.bmp"});
    }
}

// A typo is named on standard error; everything else is as if it were absent.
TEST(E2eRun, UnknownOptionsAreNamedAndChangeNothingElse) {
    TempDir plain;
    TempDir typo;
    const RunResult reference = runBramblewisp(with({"-iter", "1"}), {plain.path()});
    const RunResult run =
        runBramblewisp(with({"-tpye", "3", "-iter", "1", "--seed", "4"}), {typo.path()});
    EXPECT_EQ(run.exitStatus, reference.exitStatus);
    EXPECT_EQ(run.out, reference.out);
    EXPECT_EQ(run.err, "bramblewisp: ignoring unknown option -tpye (did you mean -type?)\n"
                       "bramblewisp: ignoring unknown option --seed (options take one hyphen: "
                       "-seed)\n" +
                           reference.err);
    EXPECT_TRUE(typo.read("testSystem.bmp") == plain.read("testSystem.bmp"));
}

TEST(E2eRun, CompleteRunPrintsEveryStageAndSavesThePicture) {
    TempDir dir;
    const RunResult run = runBramblewisp(with({"-iter", "3"}), {dir.path()});
    EXPECT_EQ(run.exitStatus, 0) << run.describe();
    EXPECT_EQ(run.out, kThreeGenerations);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"testSystem.bmp"});
    expectPicture(dir.read("testSystem.bmp"));
}

// Progress is cosmetic: when it cannot be written (no reader left on the
// pipe, so every write would raise SIGPIPE; a full device) the picture is
// still saved, and one line at the end says what was lost.
TEST(E2eRun, ProgressThatCannotBeWrittenCostsOneLineNotThePicture) {
    for (const bool pipeWithoutReader : {true, false}) {
        SCOPED_TRACE(pipeWithoutReader ? "pipe without a reader" : "/dev/full");
        TempDir dir;
        writeTestFont(dir.path() / "font.bmp"); // keeps standard error to the one line
        int ends[2] = {-1, -1};
        if (pipeWithoutReader) {
            ASSERT_EQ(pipe(ends), 0);
            close(ends[0]);
        } else {
            ends[1] = open("/dev/full", O_WRONLY | O_CLOEXEC);
            ASSERT_GE(ends[1], 0);
        }
        RunSettings settings{dir.path()};
        settings.standardOutput = ends[1];
        const RunResult run = runBramblewisp(with({"-iter", "3"}), settings);
        close(ends[1]);
        EXPECT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_EQ(run.err, std::string("bramblewisp: cannot write to standard output: ") +
                               std::strerror(pipeWithoutReader ? EPIPE : ENOSPC) + "\n");
        expectPicture(dir.read("testSystem.bmp"));
    }
}

TEST(E2eRun, TinyTimeBudgetGrowsNoGeneration) {
    TempDir dir;
    const RunResult run = runBramblewisp({"-time", "5", "-mem", "1", "-cpu", "1"}, {dir.path()});
    EXPECT_EQ(run.exitStatus, 0) << run.describe();
    EXPECT_EQ(run.out, kFirstStages + "  evolve...  OK\n" +
                           "  render...get (64) sort bbox draw  OK\n  saving... OK\n");
}

// Past a million particles the spinner turns, its turns running on across
// generations, and the next generation stops with the detail note.
TEST(E2eRun, LongRunTurnsTheSpinnerAndStopsAtTheDetailLimit) {
    TempDir dir;
    const RunResult run = runBramblewisp(with({"-iter", "12", "-type", "0"}), {dir.path()});
    ASSERT_EQ(run.exitStatus, 0) << run.describe();
    // Take the turns out; what stays is the plain count of generations.
    std::string turns;
    std::string rest;
    for (std::size_t i = 0; i < run.out.size(); ++i) {
        if (run.out[i] == '\b' && i + 1 < run.out.size() && run.out[i + 1] != ' ') {
            turns += run.out[++i];
        } else {
            rest += run.out[i];
        }
    }
    std::string generations = "  evolve... ";
    std::string cycle;
    for (int i = 1; i <= 8; ++i) {
        generations += " \b " + std::to_string(i) + " ";
        cycle += "/-\\|";
    }
    EXPECT_NE(rest.find(generations + " (detail level reached sub-pixel - there's no point to "
                                      "continue) OK\n  render...get ("),
              std::string::npos)
        << rest;
    EXPECT_FALSE(turns.empty());
    EXPECT_EQ(turns, cycle.substr(0, turns.size()));
    EXPECT_GT(std::stoi(renderedCount(run.out)), 1000000);
}

// 2^32 + 3 saturates to the largest count rather than wrapping round to 3.
TEST(E2eRun, IterationsAboveThePresetCapAreCapped) {
    TempDir capped;
    TempDir asked;
    const RunResult atCap = runBramblewisp(with({"-iter", "8", "-type", "4"}), {capped.path()});
    const RunResult above =
        runBramblewisp(with({"-iter", "4294967299", "-type", "4"}), {asked.path()});
    ASSERT_EQ(above.exitStatus, 0) << above.describe();
    EXPECT_NE(atCap.out.find(" 8  OK\n"), std::string::npos);
    EXPECT_EQ(above.out, atCap.out);
    EXPECT_EQ(asked.read("testSystem.bmp"), capped.read("testSystem.bmp"));
}

TEST(E2eRun, EveryTypeRendersOverEveryBackground) {
    const std::string postfx[] = {"0", "1", "2", "3", "4", "-1"};
    int runs = 0;
    for (const std::string type : {"0", "1", "2", "3", "4"}) {
        for (const std::string background : {"0", "1", "2"}) {
            for (const std::string dark : {"0", "1"}) {
                const std::string effect = postfx[runs++ % 6];
                SCOPED_TRACE("type " + type + " prefx " + background + " dark " + dark +
                             " postfx " + effect);
                TempDir dir;
                const RunResult run =
                    runBramblewisp(with({"-iter", "2", "-type", type, "-prefx", background, "-dark",
                                         dark, "-postfx", effect}),
                                   {dir.path()});
                ASSERT_EQ(run.exitStatus, 0) << run.describe();
                const std::string count = renderedCount(run.out);
                const bool hasPost = effect != "0" && effect != "4" && effect != "-1";
                EXPECT_EQ(run.out, kFirstStages + "  evolve...  \b 1  \b 2  OK\n" +
                                       "  render...get (" + count + ") sort bbox draw  OK\n" +
                                       (hasPost ? "  post effect... OK\n" : "") +
                                       "  saving... OK\n");
                expectPicture(dir.read("testSystem.bmp"));
            }
        }
    }
}

// Values far outside every range, beyond 32 bits included, must neither
// crash nor leak through: each run equals the run with the value the program
// falls back to. The option comes first, so it wins over the base's own.
TEST(E2eRun, ExtremeValuesRunAsTheirFallbacks) {
    const std::string huge = "99999999999999999999";
    const std::string belowInt = "-2147483649";
    const Arguments base{"-time", "1", "-mem", "1", "-cpu", "1", "-iter", "2"};
    struct Case {
        std::string option, value, sameAs;
    };
    const Case cases[] = {
        {"-time", huge, "1"}, // with -iter 2 the budget plays no part
        {"-time", belowInt, "1"},      {"-mem", huge, "1"},
        {"-mem", belowInt, "1"},       {"-cpu", huge, "1"},
        {"-cpu", "-5", "1"},           {"-iter", belowInt, "-1"}, // timed, and 1 s grows nothing
        {"-iter", "-5", "-1"},         {"-seed", huge, "11903"},  // 2147483647 modulo 31328
        {"-seed", belowInt, "-11904"}, {"-type", huge, "0"},
        {"-type", belowInt, "0"},      {"-type", "-5", "0"},
        {"-prefx", huge, "1"},         {"-prefx", belowInt, "1"},
        {"-postfx", huge, "0"},        {"-postfx", "-5", "0"},
        {"-dark", belowInt, "1"},      {"-spikes", belowInt, "0"},
        {"-spikes", "-5", "0"},
    };
    std::map<Arguments, std::pair<std::string, std::string>> references; // out, picture
    const auto outcome = [&](const Arguments& arguments) {
        TempDir dir;
        const RunResult run = runBramblewisp(arguments, {dir.path()});
        EXPECT_EQ(run.exitStatus, 0) << run.describe();
        EXPECT_TRUE(run.out.ends_with("  saving... OK\n")) << run.out;
        const std::string picture = dir.read("testSystem.bmp");
        expectPicture(picture);
        return std::pair{run.out, picture};
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option + " " + c.value);
        Arguments arguments{c.option, c.value};
        Arguments fallback{c.option, c.sameAs};
        arguments.insert(arguments.end(), base.begin(), base.end());
        fallback.insert(fallback.end(), base.begin(), base.end());
        if (!references.contains(fallback)) {
            references[fallback] = outcome(fallback);
        }
        const auto [out, picture] = outcome(arguments);
        EXPECT_EQ(out, references[fallback].first);
        EXPECT_TRUE(picture == references[fallback].second);
    }
}

TEST(E2eRun, SameOptionsGiveTheSamePictureAndTheSeedChangesIt) {
    const Arguments options = with({"-iter", "5", "-type", "1", "-prefx", "2", "-postfx", "2"});
    Arguments reseeded = options;
    reseeded.insert(reseeded.end(), {"-seed", "7"});
    TempDir first;
    TempDir second;
    TempDir third;
    ASSERT_EQ(runBramblewisp(options, {first.path()}).exitStatus, 0);
    ASSERT_EQ(runBramblewisp(options, {second.path()}).exitStatus, 0);
    ASSERT_EQ(runBramblewisp(reseeded, {third.path()}).exitStatus, 0);
    const std::string picture = first.read("testSystem.bmp");
    EXPECT_EQ(picture.size(), kPictureFileSize);
    EXPECT_EQ(second.read("testSystem.bmp"), picture);
    EXPECT_NE(third.read("testSystem.bmp"), picture);
}

} // namespace
} // namespace bramblewisp::e2e
