#pragma once

#include <cstdint>
#include <limits>

namespace bramblewisp {

// The rows [begin, end) of a picture that one worker draws: a line drawn into
// a band leaves in it exactly what the whole line leaves there, and nothing
// outside it, so bands drawn side by side, each with every line in order,
// make the picture that drawing the lines whole makes.
struct RowBand {
    int32_t begin = std::numeric_limits<int32_t>::min();
    int32_t end = std::numeric_limits<int32_t>::max();

    bool holds(int32_t row) const { return row >= begin && row < end; }
};

} // namespace bramblewisp
