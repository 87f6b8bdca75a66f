#pragma once

// Whether the SSE2 paths are compiled: on every x86-64 build unless
// BRAMBLEWISP_NO_SIMD asks for the portable code, which draws the same
// pictures, and in the WebAssembly build, whose toolchain maps SSE2 onto
// WebAssembly's vector instructions.
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(BRAMBLEWISP_NO_SIMD)
#include <emmintrin.h>
#define BRAMBLEWISP_SSE2 1
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include <cstdint>

namespace bramblewisp::simd {

// Truncation toward zero as SSE2 does it: a lane beyond the 32-bit range, or
// not a number, gives INT32_MIN. WebAssembly saturates instead, and the
// toolchain's SSE2 headers keep the x86 result with a call to lrint per
// lane, which cost a third of the page's drawing; these take five
// instructions.
inline __m128i truncate(__m128 v) {
#if defined(__wasm_simd128__)
    const v128_t inRange = wasm_v128_and(wasm_f32x4_ge(v, wasm_f32x4_splat(-2147483648.0f)),
                                         wasm_f32x4_lt(v, wasm_f32x4_splat(2147483648.0f)));
    return wasm_v128_bitselect(wasm_i32x4_trunc_sat_f32x4(v), wasm_i32x4_splat(INT32_MIN), inRange);
#else
    return _mm_cvttps_epi32(v);
#endif
}

// The same for two doubles, into lanes 0 and 1; lanes 2 and 3 are zero.
inline __m128i truncate(__m128d v) {
#if defined(__wasm_simd128__)
    const v128_t inRange = wasm_v128_and(wasm_f64x2_gt(v, wasm_f64x2_splat(-2147483649.0)),
                                         wasm_f64x2_lt(v, wasm_f64x2_splat(2147483648.0)));
    // Lanes 0 and 1 from the two masks' low halves; 2 and 3 keep the zeros.
    const v128_t lanes = wasm_i32x4_shuffle(inRange, wasm_i32x4_splat(-1), 0, 2, 4, 4);
    return wasm_v128_bitselect(wasm_i32x4_trunc_sat_f64x2_zero(v),
                               wasm_i32x4_make(INT32_MIN, INT32_MIN, 0, 0), lanes);
#else
    return _mm_cvttpd_epi32(v);
#endif
}

// Four 32-bit lanes to or from memory; store needs 16-byte alignment.
inline __m128i load(const void* from) {
    return _mm_loadu_si128(static_cast<const __m128i*>(from));
}
inline void store(void* to, __m128i lanes) {
    _mm_store_si128(static_cast<__m128i*>(to), lanes);
}

// The high halves of the 16-bit products of lanes below 256 by any 16-bit
// multipliers: _mm_mulhi_epu16 for such lanes. WebAssembly has no such
// multiply, and the toolchain builds it from two widening multiplies and a
// shuffle; with v * m = 256 v (m >> 8) + v (m & 255), every product below
// 2^16, (v * m) >> 16 is (v (m >> 8) + (v (m & 255) >> 8)) >> 8 exactly, in
// five plain 16-bit instructions.
inline __m128i scaleBytes(__m128i values, __m128i multipliers) {
#if defined(__wasm_simd128__)
    const v128_t high = wasm_i16x8_mul(values, wasm_u16x8_shr(multipliers, 8));
    const v128_t low = wasm_i16x8_mul(values, wasm_v128_and(multipliers, wasm_i16x8_splat(255)));
    return wasm_u16x8_shr(wasm_i16x8_add(high, wasm_u16x8_shr(low, 8)), 8);
#else
    return _mm_mulhi_epu16(values, multipliers);
#endif
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
