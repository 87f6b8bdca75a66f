#pragma once

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

} // namespace bramblewisp::platform
