#include "system/turnTables.h"

#include <algorithm>
#include <bit>
#include <cassert>

namespace bramblewisp {

TurnTables::TurnTables(const std::vector<float>& amplitudes) {
    for (const float amplitude : amplitudes) {
        const auto bits = std::bit_cast<uint32_t>(amplitude);
        if (std::find(amplitudeBits.begin(), amplitudeBits.end(), bits) == amplitudeBits.end()) {
            amplitudeBits.push_back(bits);
        }
    }
    // Zeroed: every entry starts out not worked out.
    entries.resize(amplitudeBits.size() * kJitterSteps);
}

SineCosine* TurnTables::tableOf(float amplitude) {
    const auto at =
        std::find(amplitudeBits.begin(), amplitudeBits.end(), std::bit_cast<uint32_t>(amplitude));
    assert(at != amplitudeBits.end());
    return entries.data() + (at - amplitudeBits.begin()) * kJitterSteps;
}

} // namespace bramblewisp
