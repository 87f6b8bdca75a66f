#include "random/ranmarStream.h"

#include <cassert>
#include <cstring>

#include "platform/simd.h"

namespace bramblewisp {

namespace {

#if BRAMBLEWISP_SSE2
constexpr int32_t kCarryStep = 7654321;     // cd after init
constexpr int32_t kCarryModulus = 16777213; // cm after init

// (k * cd) mod cm for k = 1 to 16.
struct CarryRemainders {
    constexpr CarryRemainders() {
        for (int k = 1; k <= 16; ++k) {
            of[k - 1] = static_cast<int32_t>((int64_t{k} * kCarryStep) % kCarryModulus);
        }
    }
    alignas(16) int32_t of[16]{};
};
constexpr CarryRemainders kCarryRemainders{};
#endif

// Ring position p moved back by k, within 1 to 97.
int32_t ringBack(int32_t p, int32_t k) {
    return ((p - 1 - k) % 97 + 97) % 97 + 1;
}

} // namespace

void RanmarStream::init(int32_t ij, int32_t kl) {
    Ranmar r;
    r.init(ij, kl);
    load(r);
}

void RanmarStream::load(const Ranmar& r) {
    assert(ringBack(r.i97, kLongLag - kShortLag) == r.j97);
    // The ring is written downwards from i97, so the oldest value sits at
    // i97 and the newest just above it.
    for (int32_t m = 0; m < kLongLag; ++m) {
        history[m] = r.u[ringBack(r.i97, m)];
    }
    position = kLongLag;
    c = r.c;
    cd = r.cd;
    cm = r.cm;
}

Ranmar RanmarStream::ranmar() const {
    Ranmar r;
    r.u[0] = 0;
    for (int32_t m = 0; m < kLongLag; ++m) {
        r.u[ringBack(97, m)] = history[position - kLongLag + m];
    }
    r.c = c;
    r.cd = cd;
    r.cm = cm;
    r.i97 = 97;
    r.j97 = ringBack(97, kLongLag - kShortLag);
    return r;
}

void RanmarStream::rewind() {
    std::memmove(history, history + position - kLongLag, sizeof(int32_t) * kLongLag);
    position = kLongLag;
}

void RanmarStream::fillSixteen(int32_t* out) {
    if (position + 16 > kLength) {
        rewind();
    }
#if BRAMBLEWISP_SSE2
    if (cd == kCarryStep && cm == kCarryModulus && c >= 0 && c < cm) {
        // Draw k reads the values 97 and 33 before it: sixteen draws never
        // read one another's results.
        int32_t* fresh = history + position;
        const int32_t* longLagged = fresh - kLongLag;
        const int32_t* shortLagged = fresh - kShortLag;
        // With k * cd = a * cm + r (0 <= r < cm), k steps of the carry give
        // c - r, plus cm when r > c: one compare per draw, no chain.
        const __m128i carry0 = _mm_set1_epi32(c);
        const __m128i modulus = _mm_set1_epi32(kCarryModulus);
        const __m128i wrap = _mm_set1_epi32(16777216);
        __m128i carry = carry0;
        for (int q = 0; q < 4; ++q) {
            __m128i v =
                _mm_sub_epi32(simd::load(longLagged + 4 * q), simd::load(shortLagged + 4 * q));
            v = _mm_add_epi32(v, _mm_and_si128(_mm_srai_epi32(v, 31), wrap));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(fresh + 4 * q), v);
            const __m128i r = simd::load(kCarryRemainders.of + 4 * q);
            carry = _mm_sub_epi32(carry0, r);
            carry = _mm_add_epi32(carry, _mm_and_si128(_mm_cmpgt_epi32(r, carry0), modulus));
            v = _mm_sub_epi32(v, carry);
            v = _mm_add_epi32(v, _mm_and_si128(_mm_srai_epi32(v, 31), wrap));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * q), v);
        }
        position += 16;
        c = _mm_cvtsi128_si32(_mm_shuffle_epi32(carry, 3));
        return;
    }
#endif
    // The history has room for all sixteen: next() does not rewind.
    for (int k = 0; k < 16; ++k) {
        out[k] = next();
    }
}

} // namespace bramblewisp
