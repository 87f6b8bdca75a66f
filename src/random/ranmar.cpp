#include "random/ranmar.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>

namespace bramblewisp {

namespace {

constexpr int kLongLag = 97;
constexpr int kShortLag = 33;

// The lagged values obey x[n + 97] = x[n] - x[n + 64], so x[n + k] is a
// combination of x[n .. n + 96] whose weights are the coefficients of t^k
// modulo t^97 + t^64 - 1. Arithmetic modulo 2^32 keeps every result right
// modulo 2^24.
using Weights = std::array<uint32_t, kLongLag>;

// Folds the powers above t^96 back with t^97 = 1 - t^64, from the top.
template <std::size_t N> Weights reduced(std::array<uint32_t, N>& product) {
    for (std::size_t d = N - 1; d >= kLongLag; --d) {
        product[d - kLongLag] += product[d];
        product[d - kShortLag] -= product[d];
    }
    Weights result;
    std::copy_n(product.begin(), kLongLag, result.begin());
    return result;
}

Weights squared(const Weights& a) {
    std::array<uint32_t, 2 * kLongLag - 1> product{};
    for (int i = 0; i < kLongLag; ++i) {
        const uint32_t twice = 2 * a[i];
        product[2 * i] += a[i] * a[i];
        for (int j = i + 1; j < kLongLag; ++j) {
            product[i + j] += twice * a[j];
        }
    }
    return reduced(product);
}

Weights timesT(const Weights& a) {
    std::array<uint32_t, kLongLag + 1> product{};
    std::copy(a.begin(), a.end(), product.begin() + 1);
    return reduced(product);
}

// Ring position p moved back by k, within 1 to 97: where the k-th oldest
// lagged value sits when the oldest is at p.
int32_t ringBack(int32_t p, int32_t k) {
    return ((p - 1 - k) % kLongLag + kLongLag) % kLongLag + 1;
}

} // namespace

void Ranmar::init(int32_t ij, int32_t kl) {
    // C++ division truncates toward zero, so negative seeds keep their sign
    // through the remainders and give sequences of their own.
    ij %= 31328;
    kl %= 30081;
    int32_t i = ((ij / 177) % 177) + 2;
    int32_t j = (ij % 177) + 2;
    int32_t k = ((kl / 169) % 178) + 1;
    int32_t l = kl % 169;
    for (int n = 1; n <= 97; ++n) {
        double s = 0.0;
        double t = 0.5;
        for (int bit = 0; bit < 24; ++bit) {
            int32_t m = (((i * j) % 179) * k) % 179;
            i = j;
            j = k;
            k = m;
            l = (53 * l + 1) % 169;
            if ((l * m) % 64 >= 32) {
                s += t;
            }
            t *= 0.5;
        }
        u[n] = static_cast<int32_t>(s * 16777216.0);
    }
    u[0] = 0;
    c = 362436;
    cd = 7654321;
    cm = 16777213;
    i97 = 97;
    j97 = 33;
}

void Ranmar::skip(uint64_t count) {
    RanmarSkip(count).apply(*this);
}

RanmarSkip::RanmarSkip(uint64_t count) : weights{}, draws(count) {
    weights[0] = 1;
    for (int bit = std::bit_width(count) - 1; bit >= 0; --bit) {
        weights = squared(weights);
        if ((count >> bit) & 1) {
            weights = timesT(weights);
        }
    }
}

void RanmarSkip::apply(Ranmar& r) const {
    // The 97 lagged values, oldest first, and the 96 that follow them.
    assert(ringBack(r.i97, kLongLag - kShortLag) == r.j97);
    std::array<uint32_t, 2 * kLongLag - 1> x;
    for (int m = 0; m < kLongLag; ++m) {
        x[m] = static_cast<uint32_t>(r.u[ringBack(r.i97, m)]);
    }
    for (int m = kLongLag; m < 2 * kLongLag - 1; ++m) {
        x[m] = x[m - kLongLag] - x[m - kShortLag];
    }
    r.i97 = kLongLag;
    r.j97 = ringBack(kLongLag, kLongLag - kShortLag);
    for (int m = 0; m < kLongLag; ++m) {
        uint32_t value = 0;
        for (int i = 0; i < kLongLag; ++i) {
            value += weights[i] * x[i + m];
        }
        r.u[ringBack(r.i97, m)] = static_cast<int32_t>(value & 0xFFFFFF);
    }
    const int64_t steps = static_cast<int64_t>(draws % static_cast<uint64_t>(r.cm));
    r.c = static_cast<int32_t>(((r.c - steps * r.cd) % r.cm + r.cm) % r.cm);
}

} // namespace bramblewisp
