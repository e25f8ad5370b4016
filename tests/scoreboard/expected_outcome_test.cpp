// The scoreboard's expected outcome on a handful of boards, its values
// written out here from the board's documents, not taken from its code.
#include "sim/scoreboard/expected_outcome.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/board/board_config.h"
#include "sim/scoreboard/outcome.h"

namespace boardsim {
namespace {

constexpr char kX16Prompt[] = "VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM";
constexpr char kX16Help[] = "Enable or Disable VKT-PM2W-Q37 OPROM option.";
constexpr char kX8Prompt[] = "VKT-PM2W-Q5 PCI-E 3.0 X8 OPROM";
constexpr char kX8Help[] = "Enable or Disable VKT-PM2W-Q5 OPROM option.";

struct Case {
  const char *name;
  BoardConfig board;
  std::uint8_t code;
  std::vector<std::string> texts;  // prompt, then help
  std::vector<std::uint16_t> deleted;
  std::vector<std::uint16_t> kept;
  std::uint64_t dxeStatus;
  std::vector<std::string> injected;
};

BoardConfig Named(const char *name) { return *NamedBoard(name); }

BoardConfig WithPad2Owned() {
  BoardConfig board = ShippedBoard();
  board.pads[0x030A0002] = {1, 0x00000000};  // agent 1 owns it; its own level would be 0
  return board;
}

BoardConfig WithFailure(InjectedFailure failure) {
  BoardConfig board = ShippedBoard();
  board.failures.push_back(std::move(failure));
  return board;
}

std::vector<std::uint16_t> Handles(const std::vector<SmbiosSlotRecord> &records) {
  std::vector<std::uint16_t> handles;
  for (const auto &record : records) handles.push_back(record.handle);
  return handles;
}

TEST(ExpectedOutcome, RiserTextsSlotsAndStatusesOnEachBoard) {
  const std::vector<Case> cases = {
      {"shipped", ShippedBoard(), 0x0E, {kX16Prompt, kX16Help}, {0x0029, 0x0027}, {0x0028}, 0, {}},
      {"x8 riser", Named("x8"), 0x0C, {kX8Prompt, kX8Help}, {0x0028, 0x0027}, {0x0029}, 0, {}},
      // Pad 2 cannot be read: it repeats pad 1's level 1, so the code stays 0x0E.
      {"pad 2 owned", WithPad2Owned(), 0x0E, {kX16Prompt, kX16Help}, {0x0029, 0x0027}, {0x0028}, 0, {}},
      {"LP PCH", Named("lp-pch"), 0x00, {}, {0x0029, 0x0028}, {0x0027}, 0, {}},
      {"SMBIOS read of instance 3 fails",
       WithFailure({"SMBIOS.ReadStructure", 1, 0x8000000000000007, {{"instance", "3"}}}),
       0x0E,
       {kX16Prompt, kX16Help},
       {0x0027},
       {0x0028, 0x0029},
       0,
       {"SMBIOS.ReadStructure for instance 3 failed with EFI_DEVICE_ERROR (injected): instance 3 kept"}},
      // A warning from creating the SMBIOS handler's event ends the entry with it, unregistered.
      {"second CreateEvent warns",
       WithFailure({"BS.CreateEvent", 2, 1}),
       0x0E,
       {kX16Prompt, kX16Help},
       {},
       {0x0027, 0x0028, 0x0029},
       1,
       {"BS.CreateEvent call 2 returned EFI_WARN_UNKNOWN_GLYPH (injected): BoardDxe returns it; the SMBIOS "
        "slot handler is not registered: no slot record deleted"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const ExpectedBoot expected = ExpectedOutcome(c.board);
    EXPECT_EQ(expected.riserCode, c.code);
    std::vector<std::string> texts;
    for (const auto &text : expected.outcome.setupTexts) {
      EXPECT_EQ(text.name, "Setup");
      EXPECT_EQ(text.token, texts.empty() ? 0x1A2Bu : 0x1A2Cu);
      texts.push_back(text.text);
    }
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(Handles(expected.outcome.slotsDeleted), c.deleted);
    EXPECT_EQ(Handles(expected.outcome.slotsKept), c.kept);
    EXPECT_EQ(expected.outcome.dxeStatus, c.dxeStatus);
    EXPECT_EQ(expected.outcome.peiStatus, 0u);
    EXPECT_EQ(expected.injected, c.injected);
  }
}

TEST(ExpectedOutcome, PeiResultsMacListsAndCommandRegistersOfTheShippedBoard) {
  const Outcome outcome = ExpectedOutcome(ShippedBoard()).outcome;
  ASSERT_TRUE(outcome.pcdBoardName.has_value());
  const std::vector<std::uint8_t> name = {'K', 0, 'R', 0, 'V', 0, '7', 0, '-', 0, 'D', 0,
                                          'M', 0, '3', 0, 'T', 0, 'Q', 0, 'A', 0, 0,   0};
  EXPECT_EQ(*outcome.pcdBoardName, name);
  ASSERT_EQ(outcome.laneWrites.size(), 2u);
  EXPECT_EQ(outcome.laneWrites[0].port, 0xA8);
  EXPECT_EQ(outcome.laneWrites[0].offset, 0x1558);
  EXPECT_EQ(outcome.laneWrites[1].offset, 0x1D58);
  EXPECT_EQ(outcome.laneWrites[1].value, 0x152F2800u);
  ASSERT_TRUE(outcome.lan.has_value());
  EXPECT_EQ(outcome.lan->first.count, 1);
  EXPECT_EQ(outcome.lan->second.count, 3);
  EXPECT_EQ(outcome.lan->second.addresses.at(2), (std::array<std::uint8_t, 6>{0x02, 0x4B, 0x52, 0x56, 0x37, 0x04}));
  ASSERT_EQ(outcome.commands.size(), 4u);
  for (const auto &command : outcome.commands) {
    EXPECT_EQ(command.value, 0x06);
    EXPECT_EQ(command.writes, 2u) << "set to 0x07, then restored";
  }

  // Without the PEI PCD service the name is not written; the lanes still are.
  const Outcome noPcd = ExpectedOutcome(*NamedBoard("no-pcd")).outcome;
  EXPECT_FALSE(noPcd.pcdBoardName.has_value());
  EXPECT_EQ(noPcd.laneWrites.size(), 2u);
  // A foreign device behind port 0x18D is skipped: 0x18C and 0x18E sit in adjacent slots, its Command untouched.
  const Outcome foreign = ExpectedOutcome(*NamedBoard("lan-foreign-device")).outcome;
  ASSERT_EQ(foreign.lan->second.count, 2);
  EXPECT_EQ(foreign.lan->second.addresses.at(1), (std::array<std::uint8_t, 6>{0x02, 0x4B, 0x52, 0x56, 0x37, 0x04}));
  EXPECT_EQ(foreign.commands.at(2).writes, 0u);
}

// The shipped board's slot records are instances 1, 2, 3 with handles
// 0x0027, 0x0028, 0x0029; its x16 riser deletes instance 3, then instance 1.
TEST(ExpectedOutcome, TheOrderOfStepsDecidesWhatTheDriverSeesAndWhichCallAFailureHits) {
  using enum BootStep;
  // Services installed before the driver registered for them never reach it;
  // a LAN query before the port locator arrives finds no bridge, the next one all.
  const BootStep early[] = {InstallSetupStringService, InstallSmbiosService, LoadDxe, QueryLanMacs,
                            InstallPortLocator,        QueryLanMacs};
  const Outcome late = ExpectedOutcome(ShippedBoard(), early).outcome;
  EXPECT_TRUE(late.setupTexts.empty());
  EXPECT_TRUE(late.slotsDeleted.empty());
  EXPECT_EQ(Handles(late.slotsKept), (std::vector<std::uint16_t>{0x0027, 0x0028, 0x0029}));
  ASSERT_TRUE(late.lan.has_value());
  EXPECT_EQ(late.lan->first.count, 1);
  EXPECT_EQ(late.lan->second.count, 3);
  for (const auto &command : late.commands) EXPECT_EQ(command.writes, 2u) << "only the second query reached it";
  EXPECT_FALSE(late.hook.has_value()) << "no consumer called the members";
  EXPECT_FALSE(late.ppi.has_value());

  // The first LocateProtocol fails: here it is the LAN query's, for port 8;
  // the query locates again for 0x18C, and the SMBIOS handler's lookups succeed.
  BoardConfig board = WithFailure({"BS.LocateProtocol", 1, 0x800000000000000E});
  const BootStep queryFirst[] = {InstallPortLocator, LoadDxe, QueryLanMacs, InstallSmbiosService};
  const Outcome lookupFailed = ExpectedOutcome(board, queryFirst).outcome;
  EXPECT_EQ(lookupFailed.lan->first.count, 0);
  EXPECT_EQ(lookupFailed.lan->second.count, 3);
  EXPECT_EQ(Handles(lookupFailed.slotsDeleted), (std::vector<std::uint16_t>{0x0029, 0x0027}));

  // What the SMBIOS service hands back decides what is deleted: no buffer or
  // a copy shorter than its header deletes nothing; a fixed copy carrying
  // instance 1's handle deletes that record at the first read and nothing at the second.
  const BootStep smbios[] = {LoadDxe, InstallSmbiosService};
  for (const SmbiosCopy &copy :
       {SmbiosCopy{SmbiosCopy::Kind::NoBuffer, 0, {}}, SmbiosCopy{SmbiosCopy::Kind::Truncated, 2, {}}}) {
    const Outcome none = ExpectedOutcome(ShippedBoard(), smbios, copy).outcome;
    EXPECT_TRUE(none.slotsDeleted.empty());
    EXPECT_EQ(none.slotsKept.size(), 3u);
  }
  const SmbiosCopy fixed{SmbiosCopy::Kind::Fixed, 0, {0x09, 0x11, 0x27, 0x00}};
  const Outcome oneGone = ExpectedOutcome(ShippedBoard(), smbios, fixed).outcome;
  EXPECT_EQ(Handles(oneGone.slotsDeleted), (std::vector<std::uint16_t>{0x0027}));
  EXPECT_EQ(Handles(oneGone.slotsKept), (std::vector<std::uint16_t>{0x0028, 0x0029}));
}

TEST(ExpectedOutcome, CompareNamesTheOutcomeThatDiffersWithBothValues) {
  const Outcome expected = ExpectedOutcome(ShippedBoard()).outcome;
  EXPECT_EQ(Compare(expected, expected), std::vector<Problem>{});
  Outcome seen = expected;
  seen.lan->first.addresses[0] = {0x37, 0x01, 0, 0, 0, 0};
  std::swap(seen.slotsDeleted[0], seen.slotsDeleted[1]);
  const std::vector<Problem> problems = Compare(expected, seen);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(ProblemText(problems[0]),
            "SMBIOS slot records deleted: expected instance 3 (handle 0x0029), instance 1 (handle 0x0027), seen "
            "instance 1 (handle 0x0027), instance 3 (handle 0x0029)");
  EXPECT_EQ(ProblemText(problems[1]),
            "LAN MAC first list: expected 1 address 02:4B:52:56:37:01, seen 1 address 37:01:00:00:00:00");
}

}  // namespace
}  // namespace boardsim
