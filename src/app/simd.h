#pragma once

// Whether the SSE2 paths are compiled: on every x86-64 build unless
// BRAMBLEWISP_NO_SIMD asks for the portable code, which draws the same
// pictures.
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(BRAMBLEWISP_NO_SIMD)
#include <emmintrin.h>
#define BRAMBLEWISP_SSE2 1

namespace bramblewisp::simd {

// Four 32-bit lanes to or from memory; store needs 16-byte alignment.
inline __m128i load(const void* from) { return _mm_loadu_si128(static_cast<const __m128i*>(from)); }
inline void store(void* to, __m128i lanes) { _mm_store_si128(static_cast<__m128i*>(to), lanes); }

} // namespace bramblewisp::simd
#endif
