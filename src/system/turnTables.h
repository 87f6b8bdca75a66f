#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/largeArray.h"
#include "system/rotation.h"

namespace bramblewisp {

// A jittered turn about one axis: 16 random bits pick one of 65536 angles in
// [-amplitude, +amplitude), in steps of amplitude / 32768.
inline constexpr int32_t kJitterSteps = 65536;

// A jittered turn's step: the low 16 bits of one draw.
inline int32_t jitterStep(int32_t draw) {
    return draw & 0xFFFF;
}

inline float jitterAngle(int32_t step, float amplitude) {
    const float u = static_cast<float>(step) * (1.0f / 65536.0f);
    return (u - 0.5f) * amplitude * 2.0f;
}

// The sine and cosine of every jitter angle of some amplitudes, each worked
// out the first time it is needed, or all first (workOut): a run turns
// millions of children, but an amplitude has only 65536 angles. Workers that
// grow parts of a generation side by side share the tables: an entry is read
// and written whole, as one atomic word, and since every worker writes the
// same bits, two that both find it missing only do the work twice.
class TurnTables {
  public:
    // One entry: a SineCosine's bits, zero while not worked out.
    using Entry = uint64_t;
    static_assert(sizeof(SineCosine) == sizeof(Entry));
    static_assert(std::atomic<Entry>::is_always_lock_free);

    // Amplitudes count as one only when their bits are equal (0 and -0 are
    // two).
    explicit TurnTables(const std::vector<float>& amplitudes);
    TurnTables(const TurnTables&) = delete;
    TurnTables& operator=(const TurnTables&) = delete;

    // The table of an amplitude given to the constructor.
    std::atomic<Entry>* tableOf(float amplitude);

    // Entries first to end - 1 of all the tables, one after another, worked
    // out now where they are missing.
    void workOut(std::size_t first, std::size_t end);
    std::size_t entryCount() const { return entries.size(); }

    // What sineCosineOf(jitterAngle(step, amplitude)) gives, from the
    // amplitude's table.
    static SineCosine lookUp(std::atomic<Entry>* table, int32_t step, float amplitude) {
        // Relaxed: the entry is all that is shared, and its value never
        // changes once written.
        std::atomic<Entry>& entry = table[step];
        Entry bits = entry.load(std::memory_order_relaxed);
        // No angle has both a zero sine and a zero cosine: zero bits mark an
        // entry not yet worked out.
        if (bits == 0) [[unlikely]] {
            bits = std::bit_cast<Entry>(sineCosineOf(jitterAngle(step, amplitude)));
            entry.store(bits, std::memory_order_relaxed);
        }
        return std::bit_cast<SineCosine>(bits);
    }

  private:
    std::vector<uint32_t> amplitudeBits;
    std::vector<std::atomic<Entry>, LargeBlockAllocator<std::atomic<Entry>>> entries;
};

} // namespace bramblewisp
