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

void TurnTables::workOut(std::size_t first, std::size_t end) {
    assert(first <= end && end <= entries.size());
    for (std::size_t i = first; i < end; ++i) {
        const std::size_t table = i / kJitterSteps;
        lookUp(entries.data() + table * kJitterSteps, static_cast<int32_t>(i % kJitterSteps),
               std::bit_cast<float>(amplitudeBits[table]));
    }
}

} // namespace bramblewisp
