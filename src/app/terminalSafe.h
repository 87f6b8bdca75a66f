#pragma once

#include <string>
#include <string_view>

namespace bramblewisp {

// Text a user supplied (an option's name, a path), as it may be shown on a
// terminal: what a terminal would act on rather than show (control
// characters, escape sequences, bidirectional controls, line and paragraph
// separators) and bytes that are not UTF-8 become escapes (\n, \x1b,
// \u202e), so a message stays one line that says what it contains. A
// backslash stays as it is: a Windows path reads as itself.
std::string terminalSafe(std::string_view text);

} // namespace bramblewisp
