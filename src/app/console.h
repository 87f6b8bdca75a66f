#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/progress.h"

namespace bramblewisp {

// A run's output: every byte it shows, in the order the run shows it, goes
// through the one Console that main owns (tests give theirs other streams).
// Progress on the output stream is cosmetic: a reader that went away or a
// full device must not cost the picture, and no message on the error stream
// may break into an open stage line on the terminal.
class Console final : public Progress {
  public:
    Console(std::FILE* out, std::FILE* err) : out(out), err(err) {}

    // The stage's message ("  render..." and the like), shown at once; the
    // stage line is then open until " OK\n" or " failed\n" closes it and
    // the reports held back for it follow.
    void stageBegins(Stage stage) override;
    void stageEnds() override;
    void stageFails() override;

    // A blank before a generation grows, for the spinner to overwrite, and
    // the blank back with the generation's number after it.
    void generationStarts() override;
    void generationDone(int32_t number, bool blankAfter) override;
    // The note on the evolve stage's line.
    void stopped(Stop why) override;
    // Turns the spinner once every 64 ticks; the cycle runs on across
    // generations.
    void tick() override;

    // The renderer's words.
    void begin(Step step) override;
    void collected(int32_t count) override;

    // What a run without -time, -mem and -cpu prints.
    void usage();
    // What -h and --help print: the usage and the options added since.
    void help();
    // "bramblewisp 1.1.0" and a line break.
    void version();

    // "bramblewisp: what: why" on the error stream ("bramblewisp: what"
    // without a why), now: after whatever the output stream holds, with a
    // stage line still open on the terminal ended first and the reports held
    // back written first.
    void report(const std::string& what, const std::string& why = {});
    // The same, held back until the open stage line is closed.
    void reportAfterStage(const std::string& what, const std::string& why = {});

    // At the end of the run: one report if any output could not be written.
    void reportLostOutput();

    // A batch's line for one picture, given in seed order: "  seed 17:
    // 1165184 particles, 248 ms, tree-17.png", the file "not saved" when it
    // could not be written, and the memory note when growth stopped on it.
    void batchPicture(int32_t seed, int32_t particles, int64_t milliseconds,
                      const std::string& file, bool memoryEnding);
    // On a terminal only, redrawn in place below the pictures' lines: a bar,
    // the pictures done and the time left (none while unknown).
    void batchProgress(int32_t done, int32_t total, double secondsLeft);
    // The batch's last line.
    void batchSummary(const std::string& text);

  private:
    void say(const char* text);
    void sayNow(const char* text);
    void flushOutput();
    void releaseReports();
    void endStage(const char* text);
    void clearProgressBar();

    std::FILE* out;
    std::FILE* err;
    std::vector<std::string> heldReports;
    bool stageOpen = false;
    int firstWriteError = 0;
    int32_t spinCalls = 0;
    int32_t spinIndex = 0;
    std::size_t progressBarWidth = 0; // characters of the bar on the terminal
};

} // namespace bramblewisp
