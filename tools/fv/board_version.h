// The firmware's version as the build gives it (from the VERSION file at the
// root, cmake/BoardVersion.cmake): what the packer writes into each firmware
// file's version section and each INF.
#pragma once

#include <cstdint>
#include <string_view>

#if !defined(BOARD_VERSION_STRING) || !defined(BOARD_BUILD_NUMBER)
#error "BOARD_VERSION_STRING and BOARD_BUILD_NUMBER come from the VERSION file (cmake/BoardVersion.cmake)"
#endif

namespace boardfv {

inline constexpr std::string_view kBoardVersionString = BOARD_VERSION_STRING;
inline constexpr std::uint16_t kBoardBuildNumber = BOARD_BUILD_NUMBER;

}  // namespace boardfv
