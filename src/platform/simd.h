#pragma once

// Whether the SSE2 paths are compiled: on every x86-64 build unless
// BRAMBLEWISP_NO_SIMD asks for the portable code, which draws the same
// pictures.
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(BRAMBLEWISP_NO_SIMD)
#include <emmintrin.h>
#define BRAMBLEWISP_SSE2 1

namespace bramblewisp::simd {

// Four 32-bit lanes to or from memory; store needs 16-byte alignment.
inline __m128i load(const void* from) {
    return _mm_loadu_si128(static_cast<const __m128i*>(from));
}
inline void store(void* to, __m128i lanes) {
    _mm_store_si128(static_cast<__m128i*>(to), lanes);
}

// Rows to columns, in place: lane j of r_i becomes lane i of r_j.
inline void transposeFour(__m128i& r0, __m128i& r1, __m128i& r2, __m128i& r3) {
    const __m128i t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpacklo_epi32(r2, r3);
    const __m128i t2 = _mm_unpackhi_epi32(r0, r1), t3 = _mm_unpackhi_epi32(r2, r3);
    r0 = _mm_unpacklo_epi64(t0, t1);
    r1 = _mm_unpackhi_epi64(t0, t1);
    r2 = _mm_unpacklo_epi64(t2, t3);
    r3 = _mm_unpackhi_epi64(t2, t3);
}

} // namespace bramblewisp::simd
#endif
