#pragma once

#include <cstdint>
#include <string>

#include "imaging/progress.h"

namespace bramblewisp {

// Standard output and standard error belong to this module alone: every
// byte a run shows, in the order the run shows it, is written here.
// Progress on standard output is cosmetic: a reader that went away or a
// full device must not cost the picture, and no message on standard error
// may break into an open stage line on the terminal.
namespace console {

enum class Stage { createBitmaps, preEffect, createSystem, evolve, render, postEffect, saving };

// The stage's message ("  render..." and the like), shown at once; the
// stage line is then open.
void openStage(Stage stage);
// " OK\n" closes the stage line; the reports held back for it follow.
void closeStage();
// " failed\n" closes the stage line; the reason follows on standard error.
void failStage();

// A blank before a generation grows, for the spinner to overwrite, and the
// blank back with the generation's number after it. The fixed loop writes
// the number with a blank behind it, the timed loop without.
void generationStarts();
void generationDone(int32_t number, bool blankAfter);

// The two notes that end growth early, on the evolve stage's line.
enum class Stop { memoryEnding, detailReached };
void stopNote(Stop why);

// What a run without -time, -mem and -cpu prints.
void usage();

// Turns the spinner once every 64 calls.
void spinnerTick();
// Shared by the whole run and never reset, so the cycle runs on across
// generations.
extern int32_t spinCalls;
extern int32_t spinIndex;

// Growth turns the spinner; rendering shows its words.
Progress& progress();

// At the end of the run: one report if any output could not be written.
void reportLostOutput();

} // namespace console

// "bramblewisp: what: why" on standard error ("bramblewisp: what" without a
// why), now: after whatever standard output holds, with a stage line still
// open on the terminal ended first and the reports held back written first.
void report(const std::string& what, const std::string& why = {});

// The same, held back until the open stage line is closed.
void reportAfterStage(const std::string& what, const std::string& why = {});

} // namespace bramblewisp
