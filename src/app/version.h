// The program's version, as the build names it (CMake's project version).
#pragma once

namespace morvik::app {

#ifndef MORVIK_VERSION
#error "MORVIK_VERSION is set by the build"
#endif
inline constexpr const char* kVersion = MORVIK_VERSION;

} // namespace morvik::app
