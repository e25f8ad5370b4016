// Where the board decodes its register windows: the checks of a board file
// keep the Ethernet BARs clear of them, and the hardware model answers there.
#pragma once

#include <cstdint>

namespace boardsim::address_map {

inline constexpr std::uint64_t kSidebandBase = 0xFD000000;
inline constexpr std::uint64_t kSidebandSize = 0x01000000;
inline constexpr std::uint64_t kPciConfigBase = 0xE0000000;
inline constexpr std::uint64_t kPciConfigSize = 0x10000000;
// Each Ethernet controller decodes 128 KiB from its BAR.
inline constexpr std::uint64_t kEthernetWindowSize = 0x20000;

}  // namespace boardsim::address_map
