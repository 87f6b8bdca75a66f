#include "random/ranmar.h"


#if (defined(__SSE2__) || defined(_M_X64)) && !defined(BRAMBLEWISP_NO_SIMD)
#include <emmintrin.h>
#define BRAMBLEWISP_SSE2 1
#endif

namespace bramblewisp {

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

namespace {

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
constexpr CarryRemainders kCarryRemaindersTable{};
constexpr const int32_t* kCarryRemainders = kCarryRemaindersTable.of;

} // namespace

void Ranmar::fillSixteen(int32_t* out) {
    // lagged[k]: the table value that draw k leaves behind.
    alignas(16) int32_t lagged[16];
#if BRAMBLEWISP_SSE2
    if (i97 >= 16 && j97 >= 16) {
        // No index wraps: draw k works on u[i97 - k] and u[j97 - k], and the
        // two ranges lie at least 33 apart.
        int32_t* high = u + i97 - 15;
        const int32_t* low = u + j97 - 15;
        const __m128i wrap = _mm_set1_epi32(16777216);
        for (int q = 0; q < 4; ++q) {
            __m128i v = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(high + 4 * q)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(low + 4 * q)));
            v = _mm_add_epi32(v, _mm_and_si128(_mm_srai_epi32(v, 31), wrap));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(high + 4 * q), v);
            // high[15 - k] belongs to draw k: reversed.
            _mm_store_si128(reinterpret_cast<__m128i*>(lagged + 12 - 4 * q),
                            _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)));
        }
        i97 -= 16;
        j97 -= 16;
        i97 += i97 == 0 ? 97 : 0;
        j97 += j97 == 0 ? 97 : 0;
    } else
#endif
    {
        // Runs between the wraps of the two indices.
        for (int k = 0; k < 16;) {
            int run = 16 - k;
            run = run < i97 ? run : i97;
            run = run < j97 ? run : j97;
            for (int t = 0; t < run; ++t) {
                int32_t v = u[i97 - t] - u[j97 - t];
                v += (v >> 31) & 16777216;
                u[i97 - t] = v;
                lagged[k + t] = v;
            }
            k += run;
            i97 -= run;
            j97 -= run;
            i97 += i97 == 0 ? 97 : 0;
            j97 += j97 == 0 ? 97 : 0;
        }
    }
#if BRAMBLEWISP_SSE2
    if (cd == kCarryStep && cm == kCarryModulus && c >= 0 && c < cm) {
        // With k * cd = a * cm + r (0 <= r < cm), k steps of the carry give
        // c - r, plus cm when r > c: one compare per draw, no chain.
        const __m128i carry0 = _mm_set1_epi32(c);
        const __m128i modulus = _mm_set1_epi32(kCarryModulus);
        const __m128i wrap = _mm_set1_epi32(16777216);
        __m128i carry = carry0;
        for (int q = 0; q < 4; ++q) {
            const __m128i r = _mm_load_si128(reinterpret_cast<const __m128i*>(kCarryRemainders + 4 * q));
            carry = _mm_sub_epi32(carry0, r);
            carry = _mm_add_epi32(carry, _mm_and_si128(_mm_cmpgt_epi32(r, carry0), modulus));
            __m128i v = _mm_sub_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(lagged + 4 * q)), carry);
            v = _mm_add_epi32(v, _mm_and_si128(_mm_srai_epi32(v, 31), wrap));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * q), v);
        }
        c = _mm_cvtsi128_si32(_mm_shuffle_epi32(carry, 3));
        return;
    }
#endif
    for (int k = 0; k < 16; ++k) {
        c -= cd;
        c += (c >> 31) & cm;
        int32_t v = lagged[k] - c;
        v += (v >> 31) & 16777216;
        out[k] = v;
    }
}

} // namespace bramblewisp
