// What BoardPei leaves on the simulated board when it runs as shipped, in
// terms that hold on every engine: trace lines, sizes that follow the PEI
// pointer width, and the product name's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/boot/boot.h"

namespace boardsim::testing {

// The two lane overrides, lanes 19 and 21 of port 0xA8, in table order.
inline constexpr char kLane19Write[] = "W32 0xFDA81558 = 0x152F2800";
inline constexpr char kLane21Write[] = "W32 0xFDA81D58 = 0x152F2800";

inline constexpr char kPcdPresent[] = "event PCD_PPI installed by the PEI core";
inline constexpr char kDispatched[] = "event BoardPei dispatched";

inline constexpr std::uint64_t kDescriptorFlags = 0x80000010;  // PPI | TERMINATE_LIST
inline constexpr std::uint64_t kBoardNameToken = 5;

// A PPI descriptor is three pointer-sized fields: 12 bytes on IA-32.
inline std::size_t DescriptorSize(Boot &boot) { return 3 * std::size_t{boot.PeiMachine().Memory().PointerSize()}; }

inline std::string AllocateDescriptorLine(Boot &boot, const std::string &result) {
  return "call PEI.AllocatePool(" + std::to_string(DescriptorSize(boot)) + " bytes) = " + result;
}

// "KRV7-DM3TQA" in UTF-16LE with its terminating NUL.
inline std::vector<std::uint8_t> BoardNameUtf16() {
  std::vector<std::uint8_t> bytes;
  for (const char16_t unit : std::u16string(u"KRV7-DM3TQA")) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// The PPIs BoardPei itself installed (PCD_PPI belongs to the PEI core).
inline std::vector<PeiCore::InstalledPpi> ModulePpis(Boot &boot) {
  std::vector<PeiCore::InstalledPpi> installed;
  for (const auto &ppi : boot.Pei().Ppis())
    if (ppi.byModule) installed.push_back(ppi);
  return installed;
}

}  // namespace boardsim::testing
