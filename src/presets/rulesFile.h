#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "presets/systemDescription.h"

namespace bramblewisp {

// Rules files: a whole system in TOML, as docs/systems.md describes.

// What a rules file may hold: enough for any picture worth growing, and far
// too little for a file to exhaust memory before growth starts.
inline constexpr std::size_t kMaxRulesFileBytes = std::size_t{1} << 20;
inline constexpr int32_t kMaxGroupsPerLayer = 16;
inline constexpr int32_t kMaxRulesPerGroup = 32;
inline constexpr int32_t kMaxListedSeeds = 4096;
inline constexpr int32_t kMaxIterationCap = 100;

// Where a problem is ("file:line:column", or "file" for the whole file) and
// what was expected there.
struct FileProblem {
    std::string where;
    std::string what;
};

// The system, or the first problem in the order of the file.
struct SystemRead {
    std::optional<SystemDescription> system;
    FileProblem problem;
};

// Reads the text of a rules file; fileName only names it in problems.
SystemRead readSystem(std::string_view text, const std::string& fileName);

// Opens path (a regular file, never waiting on a FIFO or a device) and reads
// it. A bare name that is no file in the working directory is looked up,
// with or without ".toml", among the systems installed with the program.
SystemRead loadSystem(const std::string& path);

} // namespace bramblewisp
