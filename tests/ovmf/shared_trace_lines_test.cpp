// The probe application writes the outside-service calls it answers in the
// simulator's trace format, so a real-core boot compares with a simulated one
// line by line: the same calls, arguments, statuses and answers, in order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "boot_outputs.h"

namespace ovmf::testing {
namespace {

// The calls to the Setup string, SMBIOS and PCD services, which both sides
// write the same way.
const std::vector<std::string> kSharedPrefixes = {"call SETUP.", "call SMBIOS.", "call PCD.Get32("};

std::vector<std::string> SimulatedSharedLines(const std::string &board) {
  std::istringstream output(SimulatedBootOutput("--engine emulated" + board));
  std::vector<std::string> lines;
  for (std::string line; std::getline(output, line);) {
    const auto start = line.find_first_not_of(' ');
    if (start != std::string::npos) lines.push_back(line.substr(start));
  }
  return LinesStartingWith(lines, kSharedPrefixes);
}

TEST(OvmfSharedTraceLines, BareBootMatchesTheSimulatedQemuBoard) {
  const auto real = LinesStartingWith(RecordedBoot(Registers::kBare).dxeReport, kSharedPrefixes);
  ASSERT_FALSE(real.empty());
  EXPECT_EQ(real, SimulatedSharedLines(" --board " + std::string(OVMF_QEMU_BOARD)));
}

TEST(OvmfSharedTraceLines, ShippedRegistersBootMatchesTheSimulatedShippedBoard) {
  const auto real = LinesStartingWith(RecordedBoot(Registers::kShippedBoard).dxeReport, kSharedPrefixes);
  // The x16 texts, two deletions and four bridge tokens at least.
  ASSERT_GE(real.size(), 10u);
  EXPECT_EQ(real, SimulatedSharedLines(""));
}

}  // namespace
}  // namespace ovmf::testing
