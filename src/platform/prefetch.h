#pragma once

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#endif

namespace bramblewisp::platform {

// Asks for the cache line of address ahead of its use; a hint only, and
// nothing where the compiler offers no way to give it.
inline void prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

// Whether prefetchForWrite asks for anything: an x86 processor without the
// instruction need not take it as a hint.
inline bool canPrefetchForWrite() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    unsigned int a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(0x80000001u, &a, &b, &c, &d) != 0 && (c & (1u << 8)) != 0;
#elif defined(__GNUC__)
    return true;
#else
    return false;
#endif
}

// Asks for the cache line of address ahead of a store to it, taken from any
// other core that holds it: a store would wait for the line. Only where
// canPrefetchForWrite.
inline void prefetchForWrite(const void* address) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    // The compiler emits the instruction only for processors chosen to have
    // it; the assembler always knows it.
    asm volatile("prefetchw %0" : : "m"(*static_cast<const char*>(address)));
#elif defined(__GNUC__)
    __builtin_prefetch(address, 1);
#else
    (void)address;
#endif
}

} // namespace bramblewisp::platform
