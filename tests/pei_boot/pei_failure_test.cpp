// BoardPei when a PEI service fails: an allocation or installation failure
// ends the entry with that status before anything else is touched; a missing
// or failing PCD service costs only the board name.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "sim/base/status_names.h"
#include "tests/pei_boot/pei_expectations.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

BoardConfig ShippedBoardFailing(const std::string &service, std::uint64_t status, unsigned nth = 1) {
  BoardConfig board = ShippedBoard();
  board.failures.push_back({service, nth, status});
  return board;
}

// Error statuses with different low bits, so a status that is mangled or
// replaced on its way back out of the entry shows.
constexpr std::uint64_t kErrors[] = {EFI_OUT_OF_RESOURCES, EFI_DEVICE_ERROR, EFI_INVALID_PARAMETER};

class PeiFailures : public ScenarioTest {};

TEST_P(PeiFailures, FailedAllocationIsReturnedBeforeAnythingElse) {
  for (const std::uint64_t error : kErrors) {
    SCOPED_TRACE(StatusName(error));
    Boot &boot = StartBoot(ShippedBoardFailing("PEI.AllocatePool", error));

    EXPECT_EQ(boot.RunPei(), error);

    EXPECT_THAT(boot.GetTrace().Lines(),
                ElementsAre(kPcdPresent, kDispatched, AllocateDescriptorLine(boot, StatusName(error) + " (injected)"),
                            "event BoardPei returned " + StatusName(error)));
    EXPECT_THAT(ModulePpis(boot), IsEmpty());
    EXPECT_THAT(boot.Pei().PcdTokens(), IsEmpty());
    EXPECT_THAT(boot.Hardware().LaneWrites(), IsEmpty());
    ExpectNoProblems();
  }
}

TEST_P(PeiFailures, FailedInstallationIsReturnedWithoutNameOrLanes) {
  for (const std::uint64_t error : kErrors) {
    SCOPED_TRACE(StatusName(error));
    Boot &boot = StartBoot(ShippedBoardFailing("PEI.InstallPpi", error));

    EXPECT_EQ(boot.RunPei(), error);

    EXPECT_THAT(boot.GetTrace().Lines(),
                ElementsAre(kPcdPresent, kDispatched, AllocateDescriptorLine(boot, "EFI_SUCCESS"),
                            "call PEI.InstallPpi(BOARD_HOOK_PPI) = " + StatusName(error) + " (injected)",
                            "event BoardPei returned " + StatusName(error)));
    EXPECT_THAT(ModulePpis(boot), IsEmpty());
    EXPECT_THAT(boot.Pei().PcdTokens(), IsEmpty());
    EXPECT_THAT(boot.Hardware().LaneWrites(), IsEmpty());
    ExpectNoProblems();
  }
}

TEST_P(PeiFailures, FailedPcdLookupSkipsTheNameButNotTheLanes) {
  Boot &boot = StartBoot(ShippedBoardFailing("PEI.LocatePpi", EFI_NOT_FOUND));

  EXPECT_EQ(boot.RunPei(), EFI_SUCCESS);

  EXPECT_THAT(boot.GetTrace().Lines(),
              ElementsAre(kPcdPresent, kDispatched, AllocateDescriptorLine(boot, "EFI_SUCCESS"),
                          "call PEI.InstallPpi(BOARD_HOOK_PPI) = EFI_SUCCESS",
                          "call PEI.LocatePpi(PCD_PPI, instance 0, services via IDT) = EFI_NOT_FOUND (injected)",
                          kLane19Write, kLane21Write, "event BoardPei returned EFI_SUCCESS"));
  EXPECT_THAT(ModulePpis(boot), SizeIs(1));
  EXPECT_THAT(boot.Pei().PcdTokens(), IsEmpty());
  ExpectNoProblems();
}

TEST_P(PeiFailures, PoolHandingBackNoBufferEndsTheEntryAsAFailedAllocation) {
  Boot &boot = StartBoot("shipped");
  boot.Pei().SetQuirk(PeiCoreQuirk::NullPoolBuffer);

  EXPECT_EQ(boot.RunPei(), EFI_OUT_OF_RESOURCES);

  EXPECT_THAT(boot.GetTrace().Lines(),
              ElementsAre(kPcdPresent, kDispatched, AllocateDescriptorLine(boot, "EFI_SUCCESS, NULL buffer"),
                          "event BoardPei returned EFI_OUT_OF_RESOURCES"));
  ExpectNoProblems();
}

TEST_P(PeiFailures, NoServicesThroughTheIdtCountsAsAFailedPcdLookup) {
  for (const PeiCoreQuirk quirk : {PeiCoreQuirk::NullIdtWord, PeiCoreQuirk::NullServicesViaIdt}) {
    SCOPED_TRACE(quirk == PeiCoreQuirk::NullIdtWord ? "NULL word below the IDT" : "NULL services table pointer");
    Boot &boot = StartBoot("shipped");
    boot.Pei().SetQuirk(quirk);

    EXPECT_EQ(boot.RunPei(), EFI_SUCCESS);

    EXPECT_THAT(boot.GetTrace().Lines(),
                ElementsAre(kPcdPresent, kDispatched, AllocateDescriptorLine(boot, "EFI_SUCCESS"),
                            "call PEI.InstallPpi(BOARD_HOOK_PPI) = EFI_SUCCESS", kLane19Write, kLane21Write,
                            "event BoardPei returned EFI_SUCCESS"));
    EXPECT_THAT(ModulePpis(boot), SizeIs(1));
    ExpectNoProblems();
  }
}

TEST_P(PeiFailures, PcdLookupWarningIsNoFailure) {
  Boot &boot = StartBoot(ShippedBoardFailing("PEI.LocatePpi", EFI_WARN_UNKNOWN_GLYPH));

  EXPECT_EQ(boot.RunPei(), EFI_SUCCESS);

  ASSERT_TRUE(boot.Pei().PcdTokens().contains(kBoardNameToken));
  EXPECT_EQ(boot.Pei().PcdTokens().at(kBoardNameToken), BoardNameUtf16());
  EXPECT_THAT(boot.Hardware().LaneWrites(), SizeIs(2));
  ExpectNoProblems();
}

TEST_P(PeiFailures, FailedPcdWriteIsIgnored) {
  Boot &boot = StartBoot(ShippedBoardFailing("PCD.SetPointer", EFI_OUT_OF_RESOURCES));

  EXPECT_EQ(boot.RunPei(), EFI_SUCCESS);

  EXPECT_THAT(boot.GetTrace().Lines(),
              ElementsAre(kPcdPresent, kDispatched, AllocateDescriptorLine(boot, "EFI_SUCCESS"),
                          "call PEI.InstallPpi(BOARD_HOOK_PPI) = EFI_SUCCESS",
                          "call PEI.LocatePpi(PCD_PPI, instance 0, services via IDT) = EFI_SUCCESS",
                          "call PCD.SetPointer(token 0x5) = EFI_OUT_OF_RESOURCES (injected)", kLane19Write,
                          kLane21Write, "event BoardPei returned EFI_SUCCESS"));
  EXPECT_THAT(ModulePpis(boot), SizeIs(1));
  ExpectNoProblems();
}

// What the entry returns when a given PEI service call fails: the two calls
// that set up the PPI end the entry, the PCD calls do not.
bool EndsTheEntry(const std::string &service) { return service == "PEI.AllocatePool" || service == "PEI.InstallPpi"; }

TEST_P(PeiFailures, EveryPeiServiceCallFailingLeavesNoProblems) {
  Boot &clean = StartBoot("shipped");
  ASSERT_EQ(clean.RunPei(), EFI_SUCCESS);
  const std::map<std::string, unsigned, std::less<>> counts = clean.Failures().Counts();
  // Each PEI service once, and nothing else: the sweep below covers every call.
  ASSERT_EQ(counts, (std::map<std::string, unsigned, std::less<>>{
                        {"PCD.SetPointer", 1}, {"PEI.AllocatePool", 1}, {"PEI.InstallPpi", 1}, {"PEI.LocatePpi", 1}}));

  for (const auto &[service, count] : counts) {
    for (unsigned nth = 1; nth <= count; ++nth) {
      SCOPED_TRACE(service + " call " + std::to_string(nth));
      Boot &boot = StartBoot(ShippedBoardFailing(service, EFI_DEVICE_ERROR, nth));

      const std::uint64_t status = boot.RunPei();

      // Any one failing call costs the board name; only the first two cost the PPI and the lanes.
      EXPECT_FALSE(boot.Pei().PcdTokens().contains(kBoardNameToken));
      if (EndsTheEntry(service)) {
        EXPECT_EQ(status, EFI_DEVICE_ERROR);
        EXPECT_THAT(boot.Hardware().LaneWrites(), IsEmpty());
        EXPECT_FALSE(boot.CallPpiMembers().has_value());
      } else {
        EXPECT_EQ(status, EFI_SUCCESS);
        EXPECT_THAT(boot.Hardware().LaneWrites(), SizeIs(2));
        const auto answers = boot.CallPpiMembers();
        ASSERT_TRUE(answers.has_value());
        EXPECT_EQ(answers->boardInfoStatus, EFI_SUCCESS);
      }
      ExpectNoProblems();
    }
  }
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(PeiFailures);

}  // namespace
}  // namespace boardsim::testing
