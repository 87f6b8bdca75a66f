#pragma once

#include <array>
#include <cstdint>

namespace bramblewisp {

// Marsaglia and Zaman's universal generator (lags 97 and 33) with every
// fraction scaled by 2^24, so that drawing needs no floating point at all.
struct Ranmar {
    int32_t u[98]; // positions 1 to 97 are used
    int32_t c;
    int32_t cd;
    int32_t cm;
    int32_t i97;
    int32_t j97;

    void init(int32_t ij, int32_t kl);

    // Leaves the state as count calls of next() would, in O(97^2 log count)
    // steps instead of count: the lagged values are linear modulo 2^24 and
    // the carry is an arithmetic sequence. Copies that skip to their places
    // in one stream draw its parts side by side.
    void skip(uint64_t count);

    // A 24-bit value in [0, 16777215].
    int32_t next() {
        // The sign tests are coin flips, so they add by mask instead of
        // branching (the shift of a negative value gives all ones).
        int32_t v = u[i97] - u[j97];
        v += (v >> 31) & 16777216;
        u[i97] = v;
        if (--i97 == 0) {
            i97 = 97;
        }
        if (--j97 == 0) {
            j97 = 97;
        }
        c -= cd;
        c += (c >> 31) & cm;
        v -= c;
        v += (v >> 31) & 16777216;
        return v;
    }
};

// A skip of one count worked out once, the costly half of Ranmar::skip, for
// generators that skip by the same count again and again.
class RanmarSkip {
  public:
    explicit RanmarSkip(uint64_t count);
    // Leaves r as count calls of r.next() would.
    void apply(Ranmar& r) const;
    uint64_t count() const { return draws; }

  private:
    std::array<uint32_t, 97> weights; // of the 97 lagged values, oldest first
    uint64_t draws;
};

} // namespace bramblewisp
