// BoardPei dispatched by OVMF's PEI core, as the PEI probe (a PEIM waiting for
// BOARD_HOOK_PPI) and QEMU saw it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot_outputs.h"

namespace ovmf::testing {
namespace {

using ::testing::ElementsAre;

TEST(OvmfPeiPhase, ProbeFindsBoardHookPpiThroughTheCoreAndItsAnswers) {
  EXPECT_THAT(
      LinesStartingWith(RecordedBoot().peiReport, {"locate BOARD_HOOK_PPI", "descriptor", "null members", "member"}),
      ElementsAre("locate BOARD_HOOK_PPI: status 0x00000000", "descriptor flags 0x80000010 guid matches ppi matches",
                  "null members: 0x1 0x2 0x5 0x6 0x7 0x8 0x9",  //
                  "member 0x0 returns 0x00",                    //
                  "member 0x4 returns 0x01",
                  // BoardInfo writes four bytes and one, no more.
                  "member 3 returns 0x00000000 info 15 1B 01 01 A5 flag 01 A5"));
}

TEST(OvmfPeiPhase, TheCoreKeepsItsServicesPointerBelowTheIdt) {
  EXPECT_THAT(RecordedBoot().peiReport, ::testing::Contains("idt word is services pointer: yes"));
}

// OVMF's token 5 holds 8 bytes, so the 24-byte name is refused; BoardPei
// ignores that and goes on to the lane registers, which QEMU sees written
// (they reach no device), each once, in table order.
TEST(OvmfPeiPhase, RefusedBoardNameWriteStillLeadsToBothLaneWrites) {
  const auto pcd = LinesStartingWith(RecordedBoot().peiReport, {"locate PCD_PPI", "pcd token 5"});
  ASSERT_EQ(pcd.size(), 3u);
  EXPECT_EQ(pcd[0], "locate PCD_PPI: status 0x00000000");
  EXPECT_THAT(pcd[1], ::testing::StartsWith("pcd token 5: size 0x00000008 value "));
  EXPECT_THAT(pcd[2], ::testing::StartsWith("pcd token 5: set 24 bytes returns 0x80000002 "));
  EXPECT_THAT(pcd[2], ::testing::EndsWith(" value unchanged"));

  EXPECT_THAT(LinesStartingWith(RecordedBoot().unassignedAccesses, {"Invalid write at addr 0xFD"}),
              ElementsAre("Invalid write at addr 0xFDA81558, size 4", "Invalid write at addr 0xFDA81D58, size 4"));
}

}  // namespace
}  // namespace ovmf::testing
