#include "app/console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/terminalSafe.h"
#include "platform/platform.h"

namespace bramblewisp {

namespace {

std::vector<std::string> heldReports;
bool stageOpen = false;
int firstWriteError = 0;

void flushOutput() {
    errno = 0;
    if (std::fflush(stdout) != 0 && firstWriteError == 0) {
        firstWriteError = errno;
    }
}

void say(const char* text) {
    std::fputs(text, stdout);
}

void sayNow(const char* text) {
    std::fputs(text, stdout);
    flushOutput();
}

// Messages echo names and paths that users supply; whatever they hold, the
// terminal shows them and the message stays one line.
std::string reportLine(const std::string& what, const std::string& why) {
    return "bramblewisp: " + terminalSafe(what) + (why.empty() ? "" : ": " + terminalSafe(why)) +
           "\n";
}

// Standard error ready for a report now: standard output flushed, a stage
// line still open on the terminal ended there, held-back reports written.
void releaseReports() {
    flushOutput();
    // In a file the lines are apart anyway; only a terminal shows them mixed.
    if (stageOpen && platform::isTerminal(stdout) && platform::isTerminal(stderr)) {
        std::fputc('\n', stderr);
    }
    stageOpen = false;
    for (const std::string& line : heldReports) {
        std::fputs(line.c_str(), stderr);
    }
    heldReports.clear();
}

void endStage(const char* text) {
    say(text);
    stageOpen = false;
    if (!heldReports.empty()) {
        releaseReports();
    }
}

class ConsoleProgress final : public Progress {
  public:
    void tick() override { console::spinnerTick(); }

    void begin(Step step) override {
        static constexpr const char* kWords[] = {"get ", "sort ", "bbox ", "draw "};
        sayNow(kWords[static_cast<int>(step)]);
    }

    void collected(int32_t count) override { std::printf("(%i) ", static_cast<int>(count)); }
};

} // namespace

namespace console {

int32_t spinCalls = 0;
int32_t spinIndex = 0;

void openStage(Stage stage) {
    // The evolve message leaves a blank for the spinner to overwrite.
    static constexpr const char* kMessages[] = {
        "  create bitmaps...", "  pre effect...",  "  create system...", "  evolve... ",
        "  render...",         "  post effect...", "  saving...",
    };
    sayNow(kMessages[static_cast<int>(stage)]);
    stageOpen = true;
}

void closeStage() {
    endStage(" OK\n");
}

void failStage() {
    endStage(" failed\n");
}

void generationStarts() {
    sayNow(" ");
}

void generationDone(int32_t number, bool blankAfter) {
    sayNow("\b ");
    std::printf(blankAfter ? "%i " : "%i", static_cast<int>(number));
    flushOutput();
}

void stopNote(Stop why) {
    say(why == Stop::memoryEnding
            ? " (looks like RAM is ending)"
            : " (detail level reached sub-pixel - there's no point to continue)");
}

void usage() {
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

void spinnerTick() {
    static constexpr char kTurns[] = "|/-\\|/-\\";
    spinCalls = (spinCalls + 1) & 63;
    if (spinCalls != 0) {
        return;
    }
    spinIndex = (spinIndex + 1) & 7;
    std::printf("\b%c", kTurns[spinIndex]);
    flushOutput();
}

Progress& progress() {
    static ConsoleProgress sink;
    return sink;
}

void reportLostOutput() {
    flushOutput();
    if (std::ferror(stdout)) {
        report("cannot write to standard output",
               firstWriteError != 0 ? std::strerror(firstWriteError) : "");
    }
}

} // namespace console

void report(const std::string& what, const std::string& why) {
    releaseReports();
    std::fputs(reportLine(what, why).c_str(), stderr);
}

void reportAfterStage(const std::string& what, const std::string& why) {
    heldReports.push_back(reportLine(what, why));
}

} // namespace bramblewisp
