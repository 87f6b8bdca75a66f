#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/largeArray.h"
#include "system/rotation.h"

namespace bramblewisp {

// A jittered turn about one axis: 16 random bits pick one of 65536 angles in
// [-amplitude, +amplitude), in steps of amplitude / 32768.
inline constexpr int32_t kJitterSteps = 65536;

inline float jitterAngle(int32_t step, float amplitude) {
    const float u = static_cast<float>(step) * (1.0f / 65536.0f);
    return (u - 0.5f) * amplitude * 2.0f;
}

// The sine and cosine of every jitter angle of some amplitudes, each worked
// out the first time it is needed: a run turns millions of children, but an
// amplitude has only 65536 angles.
static_assert(sizeof(SineCosine) == sizeof(uint64_t));

class TurnTables {
  public:
    // Amplitudes count as one only when their bits are equal (0 and -0 are
    // two).
    explicit TurnTables(const std::vector<float>& amplitudes);
    TurnTables(const TurnTables&) = delete;
    TurnTables& operator=(const TurnTables&) = delete;

    // The table of an amplitude given to the constructor.
    SineCosine* tableOf(float amplitude);

    // What sineCosineOf(jitterAngle(step, amplitude)) gives, from the
    // amplitude's table.
    static SineCosine lookUp(SineCosine* table, int32_t step, float amplitude) {
        SineCosine& entry = table[step];
        // No angle has both a zero sine and a zero cosine: zero bits mark an
        // entry not yet worked out.
        uint64_t bits;
        std::memcpy(&bits, &entry, sizeof bits);
        if (bits == 0) [[unlikely]] {
            entry = sineCosineOf(jitterAngle(step, amplitude));
        }
        return entry;
    }

  private:
    std::vector<uint32_t> amplitudeBits;
    std::vector<SineCosine, LargeBlockAllocator<SineCosine>> entries;
};

} // namespace bramblewisp
