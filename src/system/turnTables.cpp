#include "system/turnTables.h"

#include <algorithm>
#include <bit>
#include <cassert>

namespace bramblewisp {

namespace {

std::vector<uint32_t> distinctBits(const std::vector<float>& amplitudes) {
    std::vector<uint32_t> distinct;
    for (const float amplitude : amplitudes) {
        const auto bits = std::bit_cast<uint32_t>(amplitude);
        if (std::find(distinct.begin(), distinct.end(), bits) == distinct.end()) {
            distinct.push_back(bits);
        }
    }
    return distinct;
}

} // namespace

// The entries are value-initialised, that is zero: not worked out.
TurnTables::TurnTables(const std::vector<float>& amplitudes)
    : amplitudeBits(distinctBits(amplitudes)), entries(amplitudeBits.size() * kJitterSteps) {}

std::atomic<TurnTables::Entry>* TurnTables::tableOf(float amplitude) {
    const auto at =
        std::find(amplitudeBits.begin(), amplitudeBits.end(), std::bit_cast<uint32_t>(amplitude));
    assert(at != amplitudeBits.end());
    return entries.data() + (at - amplitudeBits.begin()) * kJitterSteps;
}

} // namespace bramblewisp
