// What each riser makes of Setup and the SMBIOS slot records, including the
// code a pad that cannot be read contributes.
#include <string>
#include <vector>

#include "tests/dxe_riser/riser_pads.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

constexpr const char *kX16Prompt = "VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM";
constexpr const char *kX16Help = "Enable or Disable VKT-PM2W-Q37 OPROM option.";
constexpr const char *kX8Prompt = "VKT-PM2W-Q5 PCI-E 3.0 X8 OPROM";
constexpr const char *kX8Help = "Enable or Disable VKT-PM2W-Q5 OPROM option.";

struct Outcome {
  std::vector<std::string> setupLines;        // "name/token/text"
  std::vector<std::uint16_t> deletedHandles;  // in deletion order
  std::vector<std::uint16_t> keptHandles;
};

// Record handles of the shipped board's slot instances 1, 2 and 3.
constexpr std::uint16_t kInstance1 = 0x0027;
constexpr std::uint16_t kInstance2 = 0x0028;
constexpr std::uint16_t kInstance3 = 0x0029;

std::string SetupLine(const std::string &name, std::uint64_t token, const std::string &text) {
  return name + "/" + std::to_string(token) + "/" + text;
}

const Outcome kX16 = {{SetupLine("Setup", 0x1A2B, kX16Prompt), SetupLine("Setup", 0x1A2C, kX16Help)},
                      {kInstance3, kInstance1},
                      {kInstance2}};
const Outcome kX8 = {{SetupLine("Setup", 0x1A2B, kX8Prompt), SetupLine("Setup", 0x1A2C, kX8Help)},
                     {kInstance2, kInstance1},
                     {kInstance3}};
const Outcome kNoCard = {{}, {kInstance3, kInstance2}, {kInstance1}};

class RiserAdaptation : public ScenarioTest {
 protected:
  Outcome Run(BoardConfig board) {
    Boot &boot = StartBoot(std::move(board));
    boot.RunDefaultSequence();
    Outcome outcome;
    for (const auto &write : boot.Services().SetupWrites())
      outcome.setupLines.push_back(SetupLine(write.name, write.token, write.text));
    for (const auto &slot : boot.Services().DeletedSlots()) outcome.deletedHandles.push_back(slot.handle);
    for (const auto &slot : boot.Services().RemainingSlots()) outcome.keptHandles.push_back(slot.handle);
    ExpectNoProblems();
    return outcome;
  }

  void ExpectOutcome(BoardConfig board, const Outcome &expected) {
    const Outcome outcome = Run(std::move(board));
    EXPECT_EQ(outcome.setupLines, expected.setupLines);
    EXPECT_EQ(outcome.deletedHandles, expected.deletedHandles);
    EXPECT_EQ(outcome.keptHandles, expected.keptHandles);
  }
};

TEST_P(RiserAdaptation, X16RiserSetsPromptThenHelpAndDeletesInstancesThreeThenOne) {
  ExpectOutcome(NamedBoardOrFail("shipped"), kX16);
}

TEST_P(RiserAdaptation, X8RiserSetsPromptThenHelpAndDeletesInstancesTwoThenOne) {
  ExpectOutcome(NamedBoardOrFail("x8"), kX8);
}

TEST_P(RiserAdaptation, NoRiserKeepsSetupTextsAndDeletesInstancesThreeThenTwo) {
  ExpectOutcome(NamedBoardOrFail("no-riser"), kNoCard);
}

TEST_P(RiserAdaptation, LpSeriesPchReadsCodeZero) { ExpectOutcome(NamedBoardOrFail("lp-pch"), kNoCard); }

TEST_P(RiserAdaptation, UnrecognisedPchStillReadsTheRiserThroughTheHSeriesTable) {
  ExpectOutcome(NamedBoardOrFail("unknown-pch"), kX16);
}

TEST_P(RiserAdaptation, CodesOtherThanTheTwoCardsAreNoCard) {
  // Every code but 0x0E and 0x0C, one board per code.
  for (unsigned code = 0; code < 16; ++code) {
    if (code == 0x0E || code == 0x0C) continue;
    SCOPED_TRACE(::testing::Message() << "riser code 0x" << std::hex << code);
    BoardConfig board = ShippedBoard();
    for (std::uint32_t pad = 0; pad < 4; ++pad) SetRiserPadLevel(board, pad, (code >> pad) & 1);
    ExpectOutcome(std::move(board), kNoCard);
  }
}

TEST_P(RiserAdaptation, OnlyTheRxStateBitOfDw0CountsAsTheLevel) {
  // x16 levels, with every other DW0 bit set on the low pads and clear on
  // the high ones.
  BoardConfig board = ShippedBoard();
  board.pads[kRiserPad0 + 0].dw0 = ~kDw0RxStateBit;
  board.pads[kRiserPad0 + 1].dw0 = kDw0RxStateBit;
  board.pads[kRiserPad0 + 2].dw0 = kDw0RxStateBit;
  board.pads[kRiserPad0 + 3].dw0 = 0xFFFFFFFF;
  ExpectOutcome(std::move(board), kX16);
}

TEST_P(RiserAdaptation, ForeignOwnedPadRepeatsTheLevelOfThePadBeforeIt) {
  // foreign-owner: pad 0 reads 1, pad 1 is another agent's, pads 2 and 3
  // read 1. Pad 1 repeats pad 0: code 0x0F, no card.
  ExpectOutcome(NamedBoardOrFail("foreign-owner"), kNoCard);

  // Pads 0,1 read 0,1; pad 2 is another agent's and its DW0 says 0; pad 3
  // reads 1. Repeating pad 1 gives 0x0E (x16); taking its DW0 or 0 would
  // give 0x0A.
  BoardConfig repeatsOne = ShippedBoard();
  GiveRiserPadToAnotherAgent(repeatsOne, 2, 0);
  ExpectOutcome(std::move(repeatsOne), kX16);

  // Pads 0,1 read 0,0 and pad 2 is another agent's with DW0 saying 1: it
  // repeats pad 1's 0, giving 0x08 instead of the x8 card's 0x0C.
  BoardConfig repeatsZero = NamedBoardOrFail("x8");
  GiveRiserPadToAnotherAgent(repeatsZero, 2, 1);
  ExpectOutcome(std::move(repeatsZero), kNoCard);
}

TEST_P(RiserAdaptation, ForeignOwnedFirstPadContributesZero) {
  // Pad 0 is another agent's with DW0 saying 1; pads 1..3 read 1,1,1. Nothing
  // was read before it, so it counts as 0: code 0x0E.
  BoardConfig board = ShippedBoard();
  GiveRiserPadToAnotherAgent(board, 0, 1);
  ExpectOutcome(std::move(board), kX16);
}

TEST_P(RiserAdaptation, OnlyTheLowTwoBitsOfAnOwnershipFieldNameTheOwner) {
  // Upper bits of a pad's nibble set, owner bits clear: still the host's pad.
  BoardConfig hostPad = NamedBoardOrFail("x8");
  hostPad.pads[kRiserPad0 + 2].owner = 0xC;
  ExpectOutcome(std::move(hostPad), kX8);

  // Owner 2 or 3 is another agent just as 1 is: pad 3 repeats pad 2's 1 here
  // although its DW0 says 0 (0x0C would otherwise have been read as 0x04).
  for (const std::uint32_t owner : {2u, 3u, 0xEu}) {
    SCOPED_TRACE(::testing::Message() << "pad 3 owner field 0x" << std::hex << owner);
    BoardConfig foreign = NamedBoardOrFail("x8");
    foreign.pads[kRiserPad0 + 3] = {owner, InputPadDw0(0)};
    ExpectOutcome(std::move(foreign), kX8);
  }
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(RiserAdaptation);

}  // namespace
}  // namespace boardsim::testing
