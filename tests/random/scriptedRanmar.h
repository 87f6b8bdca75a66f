#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "random/ranmar.h"

namespace bramblewisp {

// A generator whose next draws are exactly the given values (at most 33), to
// steer what a draw decides. With no decrement the sequence term stays 0 and
// positions 1 to 64 stay 0, so each draw returns u[i97] as i97 counts down.
inline Ranmar scriptedRanmar(std::initializer_list<int32_t> values) {
    Ranmar random{};
    random.i97 = 97;
    random.j97 = 33;
    int32_t position = 97;
    for (int32_t value : values) {
        random.u[position--] = value;
    }
    return random;
}

// How many draws took a generator from before to after; -1 if more than limit.
inline int drawsBetween(Ranmar before, const Ranmar& after, int limit) {
    for (int n = 0; n <= limit; ++n, before.next()) {
        if (std::memcmp(&before, &after, sizeof(Ranmar)) == 0) {
            return n;
        }
    }
    return -1;
}

} // namespace bramblewisp
