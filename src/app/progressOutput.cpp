#include "app/progressOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/platform.h"

namespace bramblewisp {

namespace {

std::vector<std::string> heldWarnings;
bool stageOpen = false;
int firstWriteError = 0;

void flushProgress() {
    errno = 0;
    if (std::fflush(stdout) != 0 && firstWriteError == 0) {
        firstWriteError = errno;
    }
}

} // namespace

void openStage(const char* text) {
    std::fputs(text, stdout);
    flushProgress();
    stageOpen = true;
}

void closeStage(const char* text) {
    std::fputs(text, stdout);
    stageOpen = false;
    if (!heldWarnings.empty()) {
        releaseWarnings();
    }
}

void warnAfterStage(std::string line) {
    heldWarnings.push_back(std::move(line));
}

void releaseWarnings() {
    flushProgress();
    // In a file the lines are apart anyway; only a terminal shows them mixed.
    if (stageOpen && platform::isTerminal(stdout) && platform::isTerminal(stderr)) {
        std::fputc('\n', stderr);
    }
    stageOpen = false;
    for (const std::string& line : heldWarnings) {
        std::fputs(line.c_str(), stderr);
    }
    heldWarnings.clear();
}

void reportLostOutput() {
    flushProgress();
    if (std::ferror(stdout)) {
        std::fprintf(stderr, "bramblewisp: cannot write to standard output%s%s\n",
                     firstWriteError != 0 ? ": " : "",
                     firstWriteError != 0 ? std::strerror(firstWriteError) : "");
    }
}

} // namespace bramblewisp
