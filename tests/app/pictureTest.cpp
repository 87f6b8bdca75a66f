#include "app/picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/consoleTranscript.h"
#include "imaging/bmp.h"
#include "sha256.h"

namespace bramblewisp {
namespace {

// Golden option sets of every type, with and without a post effect and a
// font: pictures that share nothing but the code.
const char* const kOptionSets[] = {
    "-time 1 -mem 1 -cpu 1 -iter 6 -prefx 2 -dark 1 -postfx 1",
    "-time 1 -mem 1 -cpu 1 -iter 5 -seed 12345 -postfx 3",
    "-time 1 -mem 1 -cpu 1 -iter 4 -type 1 -prefx 0 -postfx 1",
    "-time 1 -mem 1 -cpu 1 -iter 2 -type 2 -dark 1",
    "-time 1 -mem 1 -cpu 1 -iter 4 -type 4 -seed 77 -dark 1 -postfx 2",
    "-time 1 -mem 1 -cpu 1 -iter 7 -type 3 -dark 1 -prefx 2",
};

struct Recorded {
    std::string picture; // SHA-256 of the saved file
    std::string console; // SHA-256 of standard output
    bool font = false;
};

// The golden table's line for an option set.
Recorded recorded(const std::string& options) {
    std::ifstream table(BRAMBLEWISP_SOURCE_DIR "/tests/golden/pictures.txt");
    for (std::string line; std::getline(table, line);) {
        std::istringstream words(line);
        Recorded found;
        std::string fontMode, rest;
        words >> found.picture >> found.console >> fontMode;
        std::getline(words >> std::ws, rest);
        if (!line.empty() && line[0] != '#' && rest == options) {
            found.font = fontMode == "font";
            return found;
        }
    }
    ADD_FAILURE() << "not in the golden table: " << options;
    return {};
}

std::unique_ptr<Bitmap> repositoryFont() {
    std::FILE* in = std::fopen(BRAMBLEWISP_SOURCE_DIR "/font.bmp", "rb");
    if (in == nullptr) {
        return nullptr;
    }
    BmpReadResult font = readBmp(in);
    std::fclose(in);
    return std::move(font.bitmap);
}

// The settings of a run with these options and, if given, -rules rulesFile
// (a path that may hold blanks).
Settings settingsOf(const std::string& options, const std::string& rulesFile = {}) {
    std::vector<std::string> words{"bramblewisp"};
    std::istringstream split(options);
    for (std::string word; split >> word;) {
        words.push_back(word);
    }
    if (!rulesFile.empty()) {
        words.insert(words.end(), {"-rules", rulesFile});
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    const Options parsed{static_cast<int32_t>(argv.size()), argv.data()};
    std::optional<Settings> settings = parseSettings(parsed);
    if (!settings) {
        ADD_FAILURE() << "no settings: " << options;
        return {};
    }
    const RulesOutcome rules = readRules(parsed, *settings);
    EXPECT_FALSE(rules.refusal) << rulesFile << ": " << rules.refusal->where << ": "
                                << rules.refusal->what;
    return *settings;
}

// What a run with these settings writes to its picture file and its standard
// output, drawn here as the run draws it. A clock that stands still and
// memory that never runs short keep the budget out of a fixed-count run.
Recorded drawn(const Settings& settings, bool withFont, platform::WorkerPool& workers) {
    RunBudget budget(settings.timeLimit, {[] { return int64_t{1}; }, [] { return int64_t{0}; },
                                          [] { return uint32_t{0xFFFFFFFF}; }});
    budget.chargeParsing();
    Bitmap image(kPictureWidth, kPictureHeight);
    const std::unique_ptr<Bitmap> font = withFont ? repositoryFont() : nullptr;
    EXPECT_EQ(font != nullptr, withFont);

    ConsoleTranscript transcript;
    drawPicture(settings, image, font.get(), budget, transcript.console, workers);
    transcript.console.stageBegins(Progress::Stage::saving);
    std::FILE* file = std::tmpfile();
    EXPECT_TRUE(file != nullptr && writeBmp(file, image));
    std::string bytes;
    if (file != nullptr) {
        std::rewind(file);
        for (int c; (c = std::fgetc(file)) != EOF;) {
            bytes += static_cast<char>(c);
        }
        std::fclose(file);
    }
    transcript.console.stageEnds();
    return {sha256Hex(bytes), sha256Hex(transcript.text()), withFont};
}

Recorded drawn(const std::string& options, bool withFont, platform::WorkerPool& workers) {
    return drawn(settingsOf(options), withFont, workers);
}

void expectRecorded(const std::vector<Recorded>& got, const std::string& how) {
    for (std::size_t i = 0; i < std::size(kOptionSets); ++i) {
        const Recorded want = recorded(kOptionSets[i]);
        EXPECT_EQ(got[i].picture, want.picture) << how << ": picture of " << kOptionSets[i];
        EXPECT_EQ(got[i].console, want.console) << how << ": console of " << kOptionSets[i];
    }
}

// Nothing one picture leaves behind reaches the next, in one thread or
// several at once, and the workers that share a picture change none of its
// bytes: each equals what a fresh process draws.
TEST(PictureTest, PicturesInOneProcessOnThreadsAndWorkersAreTheirFreshProcessBytes) {
#ifdef __OPTIMIZE__
    const int counts[] = {1, 2, 3, 4, 7};
#else
    const int counts[] = {2, 7}; // a picture takes a few seconds unoptimised
#endif
    for (const int count : counts) {
        platform::WorkerPool workers(count);
        std::vector<Recorded> oneAfterAnother;
        for (const char* options : kOptionSets) {
            oneAfterAnother.push_back(drawn(options, recorded(options).font, workers));
        }
        expectRecorded(oneAfterAnother, "one after another, workers: " + std::to_string(count));
    }

    // The threads share one pool: a picture that finds it busy draws alone.
    platform::WorkerPool workers(3);
    std::vector<Recorded> atOnce(std::size(kOptionSets));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < std::size(kOptionSets); ++i) {
        const bool font = recorded(kOptionSets[i]).font;
        threads.emplace_back(
            [&atOnce, &workers, i, font] { atOnce[i] = drawn(kOptionSets[i], font, workers); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    expectRecorded(atOnce, "on threads");
}

// The shipped file of each type draws what -type draws. Every golden option
// set names the same system through the file as through its type (spikes
// and the fallback type included), and the option sets above, one or more
// of each type, are drawn from the files to their recorded bytes.
TEST(PictureTest, ShippedTypeFilesDrawTheirTypesGoldenPictures) {
    const auto shippedFile = [](const Settings& settings) {
        return std::string(BRAMBLEWISP_SOURCE_DIR "/systems/type") + std::to_string(settings.type) +
               ".toml";
    };
    std::ifstream table(BRAMBLEWISP_SOURCE_DIR "/tests/golden/pictures.txt");
    int checked = 0;
    for (std::string line; std::getline(table, line);) {
        std::istringstream words(line);
        std::string picture, console, fontMode, options;
        words >> picture >> console >> fontMode;
        std::getline(words >> std::ws, options);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const Settings byType = settingsOf(options);
        Settings byFile = settingsOf(options, shippedFile(byType));
        ASSERT_TRUE(byFile.rules) << options;
        EXPECT_TRUE(*systemOf(byType) == *byFile.rules) << options;
        byFile.rules = nullptr;
        byFile.rulesFile.clear();
        EXPECT_TRUE(byFile == byType) << options;
        ++checked;
    }
    EXPECT_GE(checked, 40);

    std::vector<Recorded> fromFiles;
    platform::WorkerPool workers(2);
    for (const char* options : kOptionSets) {
        const Settings byType = settingsOf(options);
        fromFiles.push_back(
            drawn(settingsOf(options, shippedFile(byType)), recorded(options).font, workers));
    }
    expectRecorded(fromFiles, "from the shipped files");
}

} // namespace
} // namespace bramblewisp
