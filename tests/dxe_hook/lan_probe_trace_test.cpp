// The exact configuration and register accesses of the MAC query on the
// shipped board: one probe per bridge, each access at its width.
#include <string>
#include <vector>

#include "tests/dxe_hook/lan_query.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

class LanProbeTrace : public ScenarioTest {};

TEST_P(LanProbeTrace, ProbeBehindPortEightReadsIdsSwitchesCommandCopiesAndRestores) {
  Boot &boot = StartBoot("shipped");
  boot.RunDefaultSequence();
  const std::size_t mark = boot.GetTrace().Mark();
  ASSERT_TRUE(boot.QueryLanMacs().has_value());
  const auto lines = CallsAndAccessesSince(boot.GetTrace(), mark);

  // Port 8's bridge is 00:1C.0; its subordinate bus 2 holds the controller.
  const std::vector<std::string> firstProbe = {
      "call BS.LocateProtocol(PORT_LOCATOR_PROTOCOL) = EFI_SUCCESS",
      "call PCD.Get32(token 0x8) = 0x000000E0",
      "R8 0xE00E001A = 0x02",
      "R32 0xE0200000 = 0x15338086",
      "R8 0xE0200004 = 0x06",
      "W8 0xE0200004 = 0x07",
      "R32 0xE0200010 = 0xD0000000",
      "call BS.CopyMem(6 bytes from 0xD0005400)",
      "R8 0xD0005400 = 0x02",
      "R8 0xD0005401 = 0x4B",
      "R8 0xD0005402 = 0x52",
      "R8 0xD0005403 = 0x56",
      "R8 0xD0005404 = 0x37",
      "R8 0xD0005405 = 0x01",
      "W8 0xE0200004 = 0x06",
  };
  ASSERT_GE(lines.size(), firstProbe.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(firstProbe.size())),
            firstProbe);
  ExpectNoProblems();
}

// The bridges are 32-bit PCD tokens whose low 16 bits are the bus/device/
// function: upper bits set in the answers (pcd-upper-bits) change no access.
TEST_P(LanProbeTrace, SecondListProbesPortsInOrderEachThroughItsOwnBridge) {
  for (const auto &[board, upper] : {std::pair{"shipped", "0000"}, std::pair{"pcd-upper-bits", "5AA5"}}) {
    SCOPED_TRACE(board);
    Boot &boot = StartBoot(board);
    boot.RunDefaultSequence();
    const std::size_t mark = boot.GetTrace().Mark();
    ASSERT_TRUE(boot.QueryLanMacs().has_value());
    const auto lines = CallsAndAccessesSince(boot.GetTrace(), mark);

    const std::string answer = std::string(" = 0x") + upper;
    const std::vector<std::string> bridgeSteps = {
        "call PCD.Get32(token 0x8)" + answer + "00E0",   "R8 0xE00E001A = 0x02",
        "call PCD.Get32(token 0x18C)" + answer + "00E4", "R8 0xE00E401A = 0x03",
        "call PCD.Get32(token 0x18D)" + answer + "00E5", "R8 0xE00E501A = 0x04",
        "call PCD.Get32(token 0x18E)" + answer + "00E6", "R8 0xE00E601A = 0x05",
    };
    std::vector<std::string> seen;
    for (const auto &line : lines)
      if (StartsWith(line, "call PCD.Get32") || line.find("01A = ") != std::string::npos) seen.push_back(line);
    EXPECT_EQ(seen, bridgeSteps);

    // Every probe has the same shape; only the bus and the BAR differ.
    const std::vector<std::string> copies = {
        "call BS.CopyMem(6 bytes from 0xD0005400)",
        "call BS.CopyMem(6 bytes from 0xD0105400)",
        "call BS.CopyMem(6 bytes from 0xD0205400)",
        "call BS.CopyMem(6 bytes from 0xD0305400)",
    };
    EXPECT_EQ(StartingWith(lines, "call BS.CopyMem("), copies);
    // 1 locator lookup + 4 x (bridge lookup, bus number, id, Command read,
    // Command on, BAR, copy, six MAC bytes, Command back).
    EXPECT_EQ(lines.size(), 1u + 4u * 14u);
    EXPECT_EQ(CountStartingWith(lines, "W"), 8u);
    ExpectNoProblems();
  }
}

TEST_P(LanProbeTrace, MacBytesAreCopiedIntoTheSlotAfterTheCount) {
  Boot &boot = StartBoot("shipped");
  boot.RunDefaultSequence();
  const auto result = boot.QueryLanMacs();
  ASSERT_TRUE(result.has_value());
  std::vector<std::uint8_t> firstList = {1};
  firstList.insert(firstList.end(), kPort8Mac.begin(), kPort8Mac.end());
  EXPECT_EQ(Bytes(result->buffer, kFirstListOffset, kBufferSize), firstList);
  std::vector<std::uint8_t> secondList = {3};
  for (const Mac &mac : {kPort18CMac, kPort18DMac, kPort18EMac})
    secondList.insert(secondList.end(), mac.begin(), mac.end());
  EXPECT_EQ(result->out, secondList);
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(LanProbeTrace);

}  // namespace
}  // namespace boardsim::testing
