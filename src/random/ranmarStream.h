#pragma once

#include <cstdint>

#include "random/ranmar.h"

namespace bramblewisp {

// The draws of a Ranmar, for a user that takes them sixteen at a time. The
// lagged values are kept as a linear history instead of a ring of 97, so a
// run of draws never wraps: sixteen draws are four vector subtractions. Its
// plain twin is Ranmar::next (ranmar.h), whose draws it must give one for one.
class RanmarStream {
  public:
    RanmarStream() { init(0, 0); }
    // Continues the sequence of r. In every state that init and next reach,
    // j97 trails i97 by 64 positions; the history relies on it.
    explicit RanmarStream(const Ranmar& r) { load(r); }

    void init(int32_t ij, int32_t kl);

    int32_t next() {
        if (position == kLength) {
            rewind();
        }
        int32_t v = history[position - kLongLag] - history[position - kShortLag];
        v += (v >> 31) & 16777216;
        history[position++] = v;
        c -= cd;
        c += (c >> 31) & cm;
        v -= c;
        v += (v >> 31) & 16777216;
        return v;
    }

    // The next sixteen draws into out, as sixteen calls of next() give them:
    // in the vector unit, else by those calls.
    void fillSixteen(int32_t* out);

    // A Ranmar that continues with the same draws.
    Ranmar ranmar() const;

  private:
    static constexpr int32_t kLongLag = 97;
    static constexpr int32_t kShortLag = 33;
    static constexpr int32_t kLength = kLongLag + 16 * 64;

    void load(const Ranmar& r);
    // Moves the last 97 values to the front once the history is full.
    void rewind();

    // history[position - 97 + m] is the m-th oldest of the 97 lagged values.
    alignas(16) int32_t history[kLength];
    int32_t position;
    int32_t c;
    int32_t cd;
    int32_t cm;
};

} // namespace bramblewisp
