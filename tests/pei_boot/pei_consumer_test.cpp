// Another PEI module using what BoardPei left behind: it finds
// BOARD_HOOK_PPI and calls its members; and BoardPei's run on every named
// board is free of problems.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "sim/board/board_config.h"
#include "sim/core/known_guids.h"
#include "tests/pei_boot/pei_expectations.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;

class PeiConsumers : public ScenarioTest {};

TEST_P(PeiConsumers, HookPpiAnswersAsTheBoardDefinesThem) {
  Boot &boot = StartBoot("shipped");
  ASSERT_EQ(boot.RunPei(), EFI_SUCCESS);
  const std::size_t mark = boot.GetTrace().Mark();

  const std::optional<PpiAnswers> answers = boot.CallPpiMembers();

  ASSERT_TRUE(answers.has_value());
  EXPECT_EQ(answers->boardInfoStatus, EFI_SUCCESS);
  EXPECT_EQ(answers->info, (std::array<std::uint8_t, 4>{0x15, 0x1B, 0x01, 0x01}));
  EXPECT_EQ(answers->flag, 0x01);
  // Members 0 and 4 are one-byte booleans; 3 is BoardInfo; the rest are empty.
  const std::array<std::optional<std::uint64_t>, 10> expected = {
      0,           std::nullopt, std::nullopt, EFI_SUCCESS, 1, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
      std::nullopt};
  EXPECT_EQ(answers->members, expected);
  // Constant answers: no service call and no register access on the way.
  EXPECT_THAT(boot.GetTrace().LinesSince(mark), ElementsAre("event consumer calls BOARD_HOOK_PPI member 0",
                                                            "event consumer calls BOARD_HOOK_PPI BoardInfo",
                                                            "event consumer calls BOARD_HOOK_PPI member 4"));
  ExpectNoProblems();
}

TEST_P(PeiConsumers, AnswersDoNotDependOnThePcdService) {
  Boot &boot = StartBoot("no-pcd");
  ASSERT_EQ(boot.RunPei(), EFI_SUCCESS);

  const std::optional<PpiAnswers> answers = boot.CallPpiMembers();

  ASSERT_TRUE(answers.has_value());
  EXPECT_EQ(answers->info, (std::array<std::uint8_t, 4>{0x15, 0x1B, 0x01, 0x01}));
  EXPECT_EQ(answers->flag, 0x01);
  EXPECT_EQ(answers->members[0], 0u);
  EXPECT_EQ(answers->members[4], 1u);
}

TEST_P(PeiConsumers, PpiInstalledWithoutAnInterfaceIsAProblemNotACrash) {
  Boot &boot = StartBoot("shipped");
  // Another module installs BOARD_HOOK_PPI with a NULL interface pointer.
  GuestMemory &memory = boot.PeiMachine().Memory();
  const unsigned pointer = memory.PointerSize();
  const GuestAddr descriptor = memory.Allocate(3 * pointer);
  memory.WritePointer(descriptor, kDescriptorFlags);
  memory.WritePointer(descriptor + pointer, memory.AllocateGuid(BoardHookPpiGuid()));
  memory.WritePointer(descriptor + 2 * pointer, 0);
  const std::uint64_t install[] = {boot.Pei().EntryServicesPointer(), descriptor};
  ASSERT_EQ(boot.Pei().Call(Service::PeiInstallPpi, install), EFI_SUCCESS);

  EXPECT_FALSE(boot.CallPpiMembers().has_value());
  EXPECT_THAT(boot.Problems(),
              ElementsAre("BOARD_HOOK_PPI is installed with a NULL interface pointer; no consumer can call it"));
}

TEST_P(PeiConsumers, EveryNamedBoardRunsPeiWithoutProblems) {
  for (const std::string &name : NamedBoards()) {
    SCOPED_TRACE(name);
    Boot &boot = StartBoot(name);

    EXPECT_EQ(boot.RunPei(), EFI_SUCCESS);
    const std::optional<PpiAnswers> answers = boot.CallPpiMembers();

    ASSERT_TRUE(answers.has_value());
    EXPECT_EQ(answers->boardInfoStatus, EFI_SUCCESS);
    EXPECT_THAT(ModulePpis(boot), SizeIs(1));
    // The lane overrides do not depend on the board variant.
    EXPECT_THAT(boot.GetTrace().RegisterLines(), ElementsAre(kLane19Write, kLane21Write));
    // A token of 8 bytes refuses the 24-byte name, as OVMF's does.
    EXPECT_EQ(boot.Pei().PcdTokens().contains(kBoardNameToken), boot.Board().pcdPpi && name != "pcd-name-8-bytes");
    ExpectNoProblems();
  }
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(PeiConsumers);

}  // namespace
}  // namespace boardsim::testing
