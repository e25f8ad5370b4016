// BoardPei's entry on a board with every PEI service working: what it calls,
// in which order, and what it leaves behind in guest memory, the PPI
// database, the PCD store and the lane registers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/core/known_guids.h"
#include "tests/pei_boot/pei_expectations.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

MATCHER_P3(IsLaneWrite, port, offset, value, "") {
  return arg.port == port && arg.offset == offset && arg.value == value && arg.width == 32u;
}

class PeiEntry : public ScenarioTest {};

TEST_P(PeiEntry, InstallsPpiThenSetsNameThenWritesLanesInTableOrder) {
  Boot &boot = StartBoot("shipped");

  EXPECT_EQ(boot.RunPei(), EFI_SUCCESS);

  EXPECT_THAT(boot.GetTrace().Lines(),
              ElementsAre(kPcdPresent, kDispatched, AllocateDescriptorLine(boot, "EFI_SUCCESS"),
                          "call PEI.InstallPpi(BOARD_HOOK_PPI) = EFI_SUCCESS",
                          "call PEI.LocatePpi(PCD_PPI, instance 0, services via IDT) = EFI_SUCCESS",
                          "call PCD.SetPointer(token 0x5) = EFI_SUCCESS, 24 bytes", kLane19Write, kLane21Write,
                          "event BoardPei returned EFI_SUCCESS"));
  EXPECT_EQ(boot.PeiStatus(), EFI_SUCCESS);
  EXPECT_THAT(boot.Hardware().LaneWrites(),
              ElementsAre(IsLaneWrite(0xA8, 0x1558, 0x152F2800u), IsLaneWrite(0xA8, 0x1D58, 0x152F2800u)));
  ExpectNoProblems();
}

TEST_P(PeiEntry, DescriptorInPoolNamesTheHookPpiAndPointsAtItsInstance) {
  Boot &boot = StartBoot("shipped");
  ASSERT_EQ(boot.RunPei(), EFI_SUCCESS);

  const auto installed = ModulePpis(boot);
  ASSERT_THAT(installed, SizeIs(1));
  EXPECT_EQ(installed[0].guid, BoardHookPpiGuid());
  EXPECT_EQ(boot.Pei().PoolBytes(), DescriptorSize(boot));

  GuestMemory &memory = boot.PeiMachine().Memory();
  const unsigned pointer = memory.PointerSize();
  const GuestAddr descriptor = installed[0].descriptor;
  EXPECT_EQ(memory.ReadPointer(descriptor), kDescriptorFlags);
  EXPECT_EQ(memory.ReadGuid(memory.ReadPointer(descriptor + pointer)), BoardHookPpiGuid());
  const GuestAddr ppi = memory.ReadPointer(descriptor + 2 * pointer);
  EXPECT_EQ(ppi, installed[0].ppi);
  EXPECT_EQ(boot.Pei().FindPpi(BoardHookPpiGuid()), ppi);

  // The instance behind it: ten members, only 0, 3 (BoardInfo) and 4 filled.
  for (unsigned member = 0; member < 10; ++member) {
    const bool filled = member == 0 || member == 3 || member == 4;
    EXPECT_EQ(memory.ReadPointer(ppi + member * pointer) != 0, filled) << "member " << member;
  }
}

TEST_P(PeiEntry, PcdToken5HoldsTheProductNameAsNulTerminatedUtf16) {
  Boot &boot = StartBoot("shipped");
  ASSERT_EQ(boot.RunPei(), EFI_SUCCESS);

  const auto &tokens = boot.Pei().PcdTokens();
  ASSERT_THAT(tokens, SizeIs(1));
  ASSERT_TRUE(tokens.contains(kBoardNameToken));
  const std::vector<std::uint8_t> &value = tokens.at(kBoardNameToken);
  EXPECT_THAT(value, SizeIs(24));
  EXPECT_EQ(value, BoardNameUtf16());
}

TEST_P(PeiEntry, PcdLookupUsesTheIdtWordNotTheEntryArgument) {
  Boot &boot = StartBoot(ShippedBoard(), BootOptions{.separatePeiEntryPointer = true});
  ASSERT_NE(boot.Pei().EntryServicesPointer(), boot.Pei().IdtServicesPointer());

  EXPECT_EQ(boot.RunPei(), EFI_SUCCESS);

  EXPECT_THAT(boot.Pei().LocatePpiServiceArguments(), ElementsAre(boot.Pei().IdtServicesPointer()));
  EXPECT_THAT(boot.GetTrace().Calls(),
              ::testing::Contains("PEI.LocatePpi(PCD_PPI, instance 0, services via IDT) = EFI_SUCCESS"));
  // Reaching the table either way, the name still lands.
  EXPECT_EQ(boot.Pei().PcdTokens().at(kBoardNameToken), BoardNameUtf16());
  ExpectNoProblems();
}

TEST_P(PeiEntry, BoardWithoutPcdServiceSkipsTheNameAndStillWritesLanes) {
  Boot &boot = StartBoot("no-pcd");

  EXPECT_EQ(boot.RunPei(), EFI_SUCCESS);

  EXPECT_THAT(boot.GetTrace().Lines(),
              ElementsAre(kDispatched, AllocateDescriptorLine(boot, "EFI_SUCCESS"),
                          "call PEI.InstallPpi(BOARD_HOOK_PPI) = EFI_SUCCESS",
                          "call PEI.LocatePpi(PCD_PPI, instance 0, services via IDT) = EFI_NOT_FOUND", kLane19Write,
                          kLane21Write, "event BoardPei returned EFI_SUCCESS"));
  EXPECT_THAT(boot.Pei().PcdTokens(), IsEmpty());
  EXPECT_THAT(ModulePpis(boot), SizeIs(1));
  ExpectNoProblems();
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(PeiEntry);

}  // namespace
}  // namespace boardsim::testing
