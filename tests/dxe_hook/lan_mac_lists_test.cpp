// The two MAC lists on the shipped board and on each LAN variant: which
// controllers are found, where their addresses land, and which bytes of the
// caller's buffers stay as they were.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/dxe_hook/lan_query.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

class LanMacLists : public ScenarioTest {
 protected:
  LanMacResult Query(const std::string &board) {
    Boot &boot = StartBoot(board);
    boot.RunDefaultSequence();
    const auto result = boot.QueryLanMacs();
    if (!result) {
      ADD_FAILURE() << "BOARD_HOOK_PROTOCOL is not installed";
      return {};
    }
    EXPECT_EQ(result->status, EFI_SUCCESS);
    return *result;
  }

  // Every controller still has its Command register as the board set it,
  // written exactly twice (on, then back).
  void ExpectCommandsRestored(std::uint8_t expected, const std::vector<std::uint8_t> &probedBuses) {
    for (const std::uint8_t bus : probedBuses) {
      EXPECT_EQ(CurrentBoot().Hardware().CommandRegister(bus), expected) << "bus " << int(bus);
      EXPECT_EQ(CurrentBoot().Hardware().CommandWrites(bus), 2u) << "bus " << int(bus);
    }
  }
};

TEST_P(LanMacLists, ShippedBoardListsOneAddressThenThreeInPortOrder) {
  const LanMacResult result = Query("shipped");
  EXPECT_EQ(result.first.count, 1);
  EXPECT_EQ(result.first.addresses, std::vector<Mac>{kPort8Mac});
  EXPECT_EQ(result.second.count, 3);
  EXPECT_EQ(result.second.addresses, (std::vector<Mac>{kPort18CMac, kPort18DMac, kPort18EMac}));
  // Bytes 0..2 of Buffer belong to the caller.
  EXPECT_EQ(Bytes(result.buffer, 0, kFirstListOffset), Untouched(3));
  ExpectCommandsRestored(0x06, {kPort8Bus, kPort18CBus, kPort18DBus, kPort18EBus});
  ExpectNoProblems();
}

TEST_P(LanMacLists, MissingControllerLeavesTheOthersInAdjacentSlots) {
  const LanMacResult result = Query("lan-missing-controller");
  EXPECT_EQ(result.first.addresses, std::vector<Mac>{kPort8Mac});
  EXPECT_EQ(result.second.count, 2);
  EXPECT_EQ(result.second.addresses, (std::vector<Mac>{kPort18CMac, kPort18EMac}));
  // The third slot is never reached.
  EXPECT_EQ(Bytes(result.out, 13, kOutSize), Untouched(6));
  // The empty bus is read once and left alone.
  const auto lines = CurrentBoot().GetTrace().RegisterLines();
  EXPECT_EQ(CountStartingWith(lines, "R32 0xE0400000 = 0xFFFFFFFF"), 1u);
  EXPECT_EQ(CountStartingWith(lines, "R8 0xE0400004"), 0u);
  ExpectNoProblems();
}

TEST_P(LanMacLists, ForeignDeviceIsSkippedWithoutTouchingIt) {
  const LanMacResult result = Query("lan-foreign-device");
  EXPECT_EQ(result.second.count, 2);
  EXPECT_EQ(result.second.addresses, (std::vector<Mac>{kPort18CMac, kPort18EMac}));
  EXPECT_EQ(Bytes(result.out, 13, kOutSize), Untouched(6));
  const auto lines = CurrentBoot().GetTrace().RegisterLines();
  EXPECT_EQ(CountStartingWith(lines, "R32 0xE0400000 = 0x15398086"), 1u);
  EXPECT_EQ(CountStartingWith(lines, "R8 0xE0400004"), 0u);
  EXPECT_EQ(CountStartingWith(lines, "R32 0xE0400010"), 0u);
  EXPECT_EQ(CurrentBoot().Hardware().CommandWrites(kPort18DBus), 0u);
  ExpectNoProblems();
}

TEST_P(LanMacLists, EmptyBusBehindPortEightGivesAnEmptyFirstListWithItsSlotUntouched) {
  const LanMacResult result = Query("lan-empty-bus");
  EXPECT_EQ(result.first.count, 0);
  EXPECT_EQ(Bytes(result.buffer, 0, kFirstListOffset), Untouched(3));
  EXPECT_EQ(Bytes(result.buffer, kFirstListOffset + 1, kBufferSize), Untouched(6));
  EXPECT_EQ(result.second.addresses, (std::vector<Mac>{kPort18CMac, kPort18DMac, kPort18EMac}));
  ExpectNoProblems();
}

TEST_P(LanMacLists, CommandRegisterIsSwitchedOnOnlyAroundTheCopy) {
  for (const std::string board : {"shipped", "lan-command-00"}) {
    SCOPED_TRACE(board);
    const LanMacResult result = Query(board);
    const std::uint8_t original = board == "shipped" ? 0x06 : 0x00;
    EXPECT_EQ(result.second.addresses, (std::vector<Mac>{kPort18CMac, kPort18DMac, kPort18EMac}));
    ExpectCommandsRestored(original, {kPort8Bus, kPort18CBus, kPort18DBus, kPort18EBus});

    // For each controller: on (0x07) before the copy, the saved value after.
    const auto lines = CurrentBoot().GetTrace().Lines();
    char restore[32];
    std::snprintf(restore, sizeof restore, "= 0x%02X", original);
    std::size_t copies = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (!StartsWith(lines[i], "call BS.CopyMem(")) continue;
      ++copies;
      ASSERT_GE(i, 2u);
      ASSERT_LT(i + 7, lines.size());
      EXPECT_TRUE(StartsWith(lines[i - 2], "W8 0xE0") && lines[i - 2].ends_with("004 = 0x07")) << lines[i - 2];
      EXPECT_TRUE(StartsWith(lines[i + 7], "W8 0xE0") && lines[i + 7].ends_with(std::string("004 ") + restore))
          << lines[i + 7];
    }
    EXPECT_EQ(copies, 4u);
    ExpectNoProblems();
  }
}

TEST_P(LanMacLists, BarTypeBitsAreClearedBeforeTheMacOffsetIsAdded) {
  const LanMacResult result = Query("lan-bar-type-bits");
  EXPECT_EQ(result.first.addresses, std::vector<Mac>{kPort8Mac});
  const auto lines = CurrentBoot().GetTrace().Lines();
  EXPECT_EQ(CountStartingWith(lines, "R32 0xE0200010 = 0xD000000C"), 1u);
  EXPECT_EQ(CountStartingWith(lines, "call BS.CopyMem(6 bytes from 0xD0005400)"), 1u);
  // The upper dword of the 64-bit BAR is not read.
  EXPECT_EQ(CountStartingWith(lines, "R32 0xE0200014"), 0u);
  ExpectNoProblems();
}

// A controller whose BAR was never assigned (0) makes the copy read address
// 0x5400, which nothing on the board maps: the copy is a reported fault on
// every engine, and the query still finishes and restores the Command byte.
TEST_P(LanMacLists, UnassignedBarIsAReportedFaultNotAHostAccess) {
  BoardConfig board = ShippedBoard();
  board.endpoints[0].bar0 = 0;
  Boot &boot = StartBoot(board);
  boot.RunDefaultSequence();
  const auto result = boot.QueryLanMacs();
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->status, EFI_SUCCESS);
  EXPECT_EQ(result->second.count, 3);
  EXPECT_EQ(CurrentBoot().Hardware().CommandRegister(kPort8Bus), 0x06);
  const auto problems = boot.Problems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(problems[0].find("BS.CopyMem: read of 1 bytes at 0x00005400: ") != std::string::npos) << problems[0];
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(LanMacLists);

}  // namespace
}  // namespace boardsim::testing
