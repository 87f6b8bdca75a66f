#pragma once

// Debian's emscripten ships the C++ library of LLVM 13, which predates
// std::bit_cast; the compiler's builtin is the same operation.
#include <bit>
#include <version>

#ifndef __cpp_lib_bit_cast
namespace std {
template <class To, class From> constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
} // namespace std
#endif
