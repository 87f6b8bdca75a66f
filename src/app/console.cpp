#include "app/console.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "app/terminalSafe.h"
#include "app/version.h"
#include "platform/platform.h"

namespace bramblewisp {

namespace {

// Messages echo names and paths that users supply; whatever they hold, the
// terminal shows them and the message stays one line.
std::string reportLine(const std::string& what, const std::string& why) {
    return "bramblewisp: " + terminalSafe(what) + (why.empty() ? "" : ": " + terminalSafe(why)) +
           "\n";
}

// "42 s", "4:02", "1:05:03".
std::string durationText(double seconds) {
    const auto whole = static_cast<int64_t>(std::ceil(seconds));
    char text[32];
    if (whole < 60) {
        std::snprintf(text, sizeof text, "%d s", static_cast<int>(whole));
    } else if (whole < 3600) {
        std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(whole / 60),
                      static_cast<int>(whole % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(whole / 3600),
                      static_cast<int>(whole / 60 % 60), static_cast<int>(whole % 60));
    }
    return text;
}

} // namespace

void Console::flushOutput() {
    errno = 0;
    if (std::fflush(out) != 0 && firstWriteError == 0) {
        firstWriteError = errno;
    }
}

void Console::say(const char* text) {
    std::fputs(text, out);
}

void Console::sayNow(const char* text) {
    std::fputs(text, out);
    flushOutput();
}

// The error stream ready for a report now: the output flushed, a stage line
// still open on the terminal ended there, held-back reports written.
void Console::releaseReports() {
    clearProgressBar();
    flushOutput();
    // In a file the lines are apart anyway; only a terminal shows them mixed.
    if (stageOpen && platform::isTerminal(out) && platform::isTerminal(err)) {
        std::fputc('\n', err);
    }
    stageOpen = false;
    for (const std::string& line : heldReports) {
        std::fputs(line.c_str(), err);
    }
    heldReports.clear();
}

void Console::endStage(const char* text) {
    say(text);
    stageOpen = false;
    if (!heldReports.empty()) {
        releaseReports();
    }
}

void Console::stageBegins(Stage stage) {
    // The evolve message leaves a blank for the spinner to overwrite.
    static constexpr const char* kMessages[] = {
        "  create bitmaps...", "  pre effect...",  "  create system...", "  evolve... ",
        "  render...",         "  post effect...", "  saving...",
    };
    sayNow(kMessages[static_cast<int>(stage)]);
    stageOpen = true;
}

void Console::stageEnds() {
    endStage(" OK\n");
}

void Console::stageFails() {
    endStage(" failed\n");
}

void Console::generationStarts() {
    sayNow(" ");
}

void Console::generationDone(int32_t number, bool blankAfter) {
    sayNow("\b ");
    std::fprintf(out, blankAfter ? "%i " : "%i", static_cast<int>(number));
    flushOutput();
}

void Console::stopped(Stop why) {
    say(why == Stop::memoryEnding
            ? " (looks like RAM is ending)"
            : " (detail level reached sub-pixel - there's no point to continue)");
}

void Console::tick() {
    static constexpr char kTurns[] = "|/-\\|/-\\";
    spinCalls = (spinCalls + 1) & 63;
    if (spinCalls != 0) {
        return;
    }
    spinIndex = (spinIndex + 1) & 7;
    std::fprintf(out, "\b%c", kTurns[spinIndex]);
    flushOutput();
}

void Console::begin(Step step) {
    static constexpr const char* kWords[] = {"get ", "sort ", "bbox ", "draw "};
    sayNow(kWords[static_cast<int>(step)]);
}

void Console::collected(int32_t count) {
    std::fprintf(out, "(%i) ", static_cast<int>(count));
}

void Console::usage() {
    static constexpr const char* kLines[] = {
        "Bramblewisp-generator by Quill Marrowby\n",
        "\n",
        "Usage: <program-exe> -param value -param value ...\n",
        "Parameters:\n",
        "(general - required)\n",
        "  -time      Allowed time to run (in seconds)\n",
        "  -mem       dummy\n",
        "  -cpu       dummy\n",
        "(tweaks - optional)\n",
        "  -seed      Seed for random\n",
        "  -iter      # of iterations (0 to 8 - more at your risk!) overrides -time\n",
        "  -dark      Should background be dark (0 or 1)\n",
        "  -prefx     Background fx (0,1,2)\n",
        "  -postfx    Post fx (0,1,2 or 3)\n",
        "  -spikes    Initial system size (1 to 100)\n",
        "  -type      System type (0,1,2,3,4)\n",
        "\n",
        "Exaple usage: <program-exe> -time 100 -mem 32 -cpu 600 -dark 1\n",
    };
    for (const char* line : kLines) {
        say(line);
    }
}

void Console::help() {
    usage();
    static constexpr const char* kLines[] = {
        "\n",
        "(more tweaks - optional)\n",
        "  -width     Picture width in pixels (16 to 16384, default 800)\n",
        "  -height    Picture height in pixels (16 to 16384, default 600)\n",
        "  -out       File to save, ending in .bmp or .png (default testSystem.bmp);\n",
        "             a PNG keeps the options that drew it. The word after -out is\n",
        "             its value: -out -a.png and -out ./-a.png both name -a.png\n",
        "  -palette   Colours of strokes and backgrounds (0, the default, blue-violet)\n",
        "  -text      Draw the three lines of text (0 or 1, default 1)\n",
        "  -rules     The system from a rules file instead of -type (e.g. fern)\n",
        "  -count     Pictures of the seeds -seed, -seed + 1, ... (1 to 1000000), on\n",
        "             every core; %d in -out is the seed (-out tree-%d.png)\n",
        "  -sheet     A contact sheet of every picture, labelled with its seed\n",
        "             (.bmp or .png; one per 100 pictures)\n",
        "  -h, --help This text\n",
        "  --version  The program's version\n",
    };
    for (const char* line : kLines) {
        say(line);
    }
}

void Console::version() {
    say("bramblewisp ");
    say(kVersion);
    say("\n");
}

void Console::report(const std::string& what, const std::string& why) {
    releaseReports();
    std::fputs(reportLine(what, why).c_str(), err);
}

void Console::reportAfterStage(const std::string& what, const std::string& why) {
    heldReports.push_back(reportLine(what, why));
}

void Console::clearProgressBar() {
    if (progressBarWidth > 0) {
        std::string blank(progressBarWidth + 2, ' ');
        blank.front() = '\r';
        blank.back() = '\r';
        say(blank.c_str());
        progressBarWidth = 0;
    }
}

void Console::batchPicture(int32_t seed, int32_t particles, int64_t milliseconds,
                           const std::string& file, bool memoryEnding) {
    releaseReports();
    std::fprintf(out, "  seed %d: %d particles, %lld ms, %s%s\n", static_cast<int>(seed),
                 static_cast<int>(particles), static_cast<long long>(milliseconds),
                 file.empty() ? "not saved" : terminalSafe(file).c_str(),
                 memoryEnding ? " (looks like RAM is ending)" : "");
    flushOutput();
}

void Console::batchProgress(int32_t done, int32_t total, double secondsLeft) {
    if (!platform::isTerminal(out)) {
        return;
    }
    constexpr int32_t kBarWidth = 30;
    const auto filled = static_cast<std::size_t>(int64_t{done} * kBarWidth / std::max(total, 1));
    std::string bar = "  [" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') +
                      "] " + std::to_string(done) + " of " + std::to_string(total);
    if (secondsLeft >= 0 && done < total) {
        bar += ", " + durationText(secondsLeft) + " left";
    }
    const std::size_t shown = bar.size();
    bar.resize(std::max(shown, progressBarWidth), ' ');
    say(("\r" + bar).c_str());
    flushOutput();
    progressBarWidth = shown;
}

void Console::batchSummary(const std::string& text) {
    releaseReports();
    say(("  " + terminalSafe(text) + "\n").c_str());
    flushOutput();
}

void Console::reportLostOutput() {
    flushOutput();
    if (std::ferror(out)) {
        report("cannot write to standard output",
               firstWriteError != 0 ? std::strerror(firstWriteError) : "");
    }
}

} // namespace bramblewisp
