#pragma once

namespace bramblewisp {

// The project's version, written once, in CMakeLists.txt.
inline constexpr const char* kVersion = BRAMBLEWISP_VERSION;

} // namespace bramblewisp
