#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bramblewisp {

// The largest input zlibStream takes: the compressor counts bytes in int,
// and its output buffer doubles as it grows.
inline constexpr std::size_t kMaxZlibInput = std::size_t{1} << 29;

// data as one zlib stream (RFC 1950: deflate with fixed codes and an Adler-32
// check), the same bytes on every platform. effort (5 and up) is how many
// earlier places of each hash the search for a match tries. Throws
// std::bad_alloc when memory runs out. data.size() <= kMaxZlibInput.
std::vector<uint8_t> zlibStream(std::span<const uint8_t> data, int effort);

} // namespace bramblewisp
