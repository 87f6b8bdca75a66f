#pragma once

#include <string>

// Progress on standard output is cosmetic: a reader that went away or a full
// device must not cost the picture, and no message on standard error may
// break into an open stage line on the terminal.
namespace bramblewisp {

// Writes a stage's opening text and flushes it; the stage line is then open.
void openStage(const char* text);

// Closes the open stage line with text, then writes the held-back warnings.
void closeStage(const char* text);

// Holds a line for standard error back until the open stage line is closed.
void warnAfterStage(std::string line);

// Makes standard error ready for a message now: standard output flushed, a
// stage line still open on the terminal ended there, held-back warnings written.
void releaseWarnings();

// At the end of the run: one line on standard error if any output could not
// be written.
void reportLostOutput();

} // namespace bramblewisp
