#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Everything that differs between operating systems, in one place.
namespace bramblewisp::platform {

// Called once at start: lets a full disk or a reader that went away show up
// as a failed write instead of a signal that kills the process.
void prepareProcess();

// Whether the stream is a terminal, where standard output and standard error
// share the lines.
bool isTerminal(std::FILE* stream);

// A monotonic high-resolution counter and its ticks per second.
int64_t counterFrequency();
int64_t counterNow();

// The cores this process may run on: its affinity mask, and on Linux the CPU
// quota of its control group, rounded up. At least 1; 1 in WebAssembly.
int usableCores();

// The free memory the process can still commit, in bytes, capped to what 32
// bits hold.
uint32_t committableBytes();
// The same without the cap.
uint64_t availableBytes();

// Memory for large arrays that a run fills once: aligned for huge pages and
// advised to use them where the system offers them, because fresh memory
// costs a page fault per page and a run touches tens of megabytes of it.
// Throws std::bad_alloc when none is left.
void* allocateLarge(std::size_t bytes);
void releaseLarge(void* block, std::size_t bytes);

// Opens path for reading in binary mode if it is a regular file, without
// waiting on the way for a FIFO's writer or a device. Null when it is not or
// cannot be opened; problem then says why ("is not a regular file", "cannot
// be opened: <reason>") and errno is the reason, or 0 for a file that is
// there but not regular.
std::FILE* openRegularFile(const std::string& path, std::string& problem);

// What a path names, without following a symbolic link at its end. Missing
// also when it cannot be looked at.
enum class PathKind { missing, regularFile, directory, symbolicLink, other };
PathKind pathKind(const std::string& path);

// An open, empty file next to path, for writing in binary mode. Until it is
// put in place or removed, SIGINT, SIGTERM and SIGHUP remove it before they
// end the process (on Windows, however the process ends, up to syncFile).
// Up to kMostTemporaryFiles at once, from any threads.
struct TemporaryFile {
    std::FILE* file = nullptr;
    std::string path;
    int slot = -1; // where the signal handler finds it, on POSIX systems
};

// The saves that may be under way at once; the handler of the ending
// signals finds their files in that many fixed places.
inline constexpr int kMostTemporaryFiles = 64;

// On failure the file is null and reason says why.
TemporaryFile createTemporaryFile(const std::string& nextTo, std::string& reason);

// Writes the file's bytes through to stable storage. On failure reason says why.
bool syncFile(std::FILE* file, std::string& reason);

// Replaces to by the (closed) temporary file in one step that survives a
// power cut. On failure reason says why and the temporary file is still there.
bool replaceFile(const TemporaryFile& from, const std::string& to, std::string& reason);

// Removes the (closed) temporary file.
void removeTemporaryFile(const TemporaryFile& temporary);

// From this call on, the first ending signal (SIGINT, SIGTERM, SIGHUP; on
// Windows Ctrl+C and Ctrl+Break) that the caller does not ignore no longer
// ends the process, but is only recorded: a run of many pictures then stops
// its drawing, lets the saves under way finish, and ends by the signal
// itself. A second one ends the process at once, its temporary files
// removed. Under node the signal takes effect when the program returns.
void catchEndingSignals();

// The signal recorded since, or 0; read from any thread.
int caughtEndingSignal();

// Ends the process as the signal's default action does, so that the caller
// sees which signal it was (a shell: status 128 + the signal's number).
[[noreturn]] void endBySignal(int signal);

// The running program's own file, as the system names it; empty when the
// system cannot say.
std::string executablePath();

// Where the data files installed with the program sit, ending in a separator:
// share/bramblewisp beside the program's bin directory, or on Windows the
// program's own directory. Found from the executable, so an installation
// moved to another prefix still finds its own files. Empty when unknown.
std::string installedDataDirectory();

} // namespace bramblewisp::platform
