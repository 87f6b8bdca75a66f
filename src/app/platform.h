#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Everything that differs between operating systems, in one place.
namespace bramblewisp::platform {

// Called once at start: lets a full disk show up as a failed write instead of
// a signal that kills the process.
void prepareProcess();

// A monotonic high-resolution counter and its ticks per second.
int64_t counterFrequency();
int64_t counterNow();

// The free memory the process can still commit, in bytes, capped to what 32
// bits hold.
uint32_t committableBytes();

// Memory for large arrays that a run fills once: aligned for huge pages and
// advised to use them where the system offers them, because fresh memory
// costs a page fault per page and a run touches tens of megabytes of it.
// Throws std::bad_alloc when none is left.
void* allocateLarge(std::size_t bytes);
void releaseLarge(void* block, std::size_t bytes);

// An open, empty file next to path, for writing in binary mode.
struct TemporaryFile {
    std::FILE* file = nullptr;
    std::string path;
};

// On failure the file is null and reason says why.
TemporaryFile createTemporaryFile(const std::string& nextTo, std::string& reason);

// Replaces to by from in one step. On failure reason says why.
bool replaceFile(const std::string& from, const std::string& to, std::string& reason);

void removeFile(const std::string& path);

// The running program's own file, as the system names it; empty when the
// system cannot say.
std::string executablePath();

// Where the data files installed with the program sit, ending in a separator:
// share/bramblewisp beside the program's bin directory, or on Windows the
// program's own directory. Found from the executable, so an installation
// moved to another prefix still finds its own files. Empty when unknown.
std::string installedDataDirectory();

} // namespace bramblewisp::platform
