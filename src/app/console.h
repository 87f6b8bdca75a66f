#pragma once

#include <cstdint>
#include <string>

#include "imaging/progress.h"

namespace bramblewisp {

// Standard output belongs to this module alone: every byte a run shows, in
// the order the run shows it, is written here.
namespace console {

enum class Stage { createBitmaps, preEffect, createSystem, evolve, render, postEffect, saving };

// The stage's message ("  render..." and the like), shown at once.
void openStage(Stage stage);
// " OK\n" after the stage's message.
void closeStage();
// " failed\n" after the stage's message; the reason follows on standard error.
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

} // namespace console

// "bramblewisp: what: why" on standard error ("bramblewisp: what" without a
// why), after whatever standard output holds, so that the two read in order.
void report(const std::string& what, const std::string& why = {});

} // namespace bramblewisp
