// The register accesses the real images made on QEMU, as QEMU logged them
// (its register windows are empty, so every access is logged), against the
// simulated board's trace of a boot on a board file that describes QEMU: the
// same addresses and widths in the same order, from PEI's lane writes to the
// last LAN MAC probe.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>
#include <sstream>

#include "boot_outputs.h"

namespace ovmf::testing {
namespace {

// "R16 0xE00F8002 = 0xA305" in the simulator's trace, as QEMU words it.
std::vector<std::string> SimulatedAccesses(const std::string &engine) {
  const std::string command = "--engine " + engine + " --board " + std::string(OVMF_QEMU_BOARD);
  const std::string output = SimulatedBootOutput(command);
  static const std::regex kAccess(R"(^  ([RW])(8|16|32) (0x[0-9A-F]+) = )");
  std::vector<std::string> accesses;
  std::istringstream lines(output);
  std::smatch match;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_search(line, match, kAccess))
      accesses.push_back(std::string("Invalid ") + (match[1] == "R" ? "read" : "write") + " at addr " +
                         std::string(match[3]) + ", size " + std::to_string(std::stoi(match[2]) / 8));
  EXPECT_FALSE(accesses.empty()) << command << " printed:\n" << output;
  return accesses;
}

// The board's windows: sideband (0xFD......), PCI configuration (0xE.......)
// and the Ethernet BARs (0xD.......).
bool InBoardWindow(const std::string &access) {
  const auto start = access.find("addr 0x");
  if (start == std::string::npos) return false;
  const std::string address = access.substr(start + 7, access.find(',', start) - start - 7);
  return address.size() == 8 && (address[0] == 'D' || address[0] == 'E' || address.starts_with("FD"));
}

std::vector<std::string> BoardWindowAccesses() {
  std::vector<std::string> accesses;
  for (const std::string &access : RecordedBoot().unassignedAccesses)
    if (InBoardWindow(access)) accesses.push_back(access);
  return accesses;
}

TEST(OvmfRegisterAccesses, MatchTheEmulatedEngineOnTheSameBoard) {
  EXPECT_EQ(BoardWindowAccesses(), SimulatedAccesses("emulated"));
}

TEST(OvmfRegisterAccesses, MatchTheNativeEngineOnTheSameBoard) {
  EXPECT_EQ(BoardWindowAccesses(), SimulatedAccesses("native"));
}

}  // namespace
}  // namespace ovmf::testing
