// boardsim diff, run as a person runs it: the same boot twice is no
// difference, whichever engine runs it; one pad changed shows first as an
// outcome difference, then in the trace.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "boardsim_runner.h"

namespace boardsim::testing {
namespace {

TEST(DiffCommand, SameBootTwiceOrOnBothEnginesDoesNotDiffer) {
  for (const char *arguments : {"diff", "diff --engine emulated --engine native",
                                "diff --images " BOARD_FIRMWARE_DIR " --images " BOARD_FIRMWARE_DIR}) {
    const CommandRun run = Boardsim(arguments);
    EXPECT_EQ(run.status, 0) << arguments << "\n" << run.output;
    EXPECT_TRUE(Contains(run.output, "The boots do not differ.")) << arguments << "\n" << run.output;
  }
}

TEST(DiffCommand, OnePadChangedIsAnOutcomeDifferenceBeforeTheTraceDifference) {
  char pattern[] = "/tmp/boardsim-diff-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path dir(pattern);
  const auto board = dir / "pad1-low.json";
  std::ofstream(board) << R"({"base": "shipped", "pads": [
      {"pad": {"group": "GPP_K", "index": 0}, "level": 0}, {"pad": {"group": "GPP_K", "index": 1}, "level": 0},
      {"pad": {"group": "GPP_K", "index": 2}, "level": 1}, {"pad": {"group": "GPP_K", "index": 3}, "level": 1}]})";
  const CommandRun run = Boardsim("diff --board shipped --board " + board.string());
  std::filesystem::remove_all(dir);

  EXPECT_EQ(run.status, 1) << run.output;
  const auto outcome = run.output.find("Outcome differences:");
  const auto riser = run.output.find("+     code 0x0C: x8 riser VKT-PM2W-Q5");
  const auto trace = run.output.find("Trace differences:");
  const auto pad = run.output.find("+ R32 0xFD6B0610 = 0x44000100  GPP_K pad 1 DW0");
  ASSERT_NE(outcome, std::string::npos) << run.output;
  EXPECT_LT(outcome, riser) << run.output;
  EXPECT_LT(riser, trace) << run.output;
  EXPECT_LT(trace, pad) << run.output;
  EXPECT_NE(pad, std::string::npos) << run.output;
}

TEST(DiffCommand, UsageErrorsExit2) {
  for (const char *arguments : {"diff --bogus", "diff --engine qemu", "diff --board a --board b --board c"}) {
    const CommandRun run = Boardsim(arguments);
    EXPECT_EQ(run.status, 2) << arguments << "\n" << run.output;
  }
}

}  // namespace
}  // namespace boardsim::testing
