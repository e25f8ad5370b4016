// The register accesses of a riser code read on each kind of PCH: which
// registers are read, in which order and at which width.
#include <string>
#include <vector>

#include "tests/dxe_riser/riser_pads.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

class RiserTrace : public ScenarioTest {};

TEST_P(RiserTrace, HSeriesReadsTheDeviceIdOnceThenOwnershipAndDw0OfEachPad) {
  Boot &boot = StartBoot("shipped");
  const BoardConfig &board = boot.Board();
  boot.LoadDxe();

  std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSetupStringService();
  const std::uint32_t own = RiserOwnershipWord(board);
  const std::vector<std::string> setupHandler = {
      "call BS.LocateProtocol(SETUP_STRING_PROTOCOL) = EFI_SUCCESS",
      "call BS.CloseEvent(event#2) = EFI_SUCCESS",
      "R16 0xE00F8002 = 0xA305",
      Read32Line(0xFD6B0020, own),
      Read32Line(0xFD6B0600, RiserDw0(board, 0)),
      Read32Line(0xFD6B0020, own),
      Read32Line(0xFD6B0610, RiserDw0(board, 1)),
      Read32Line(0xFD6B0020, own),
      Read32Line(0xFD6B0620, RiserDw0(board, 2)),
      Read32Line(0xFD6B0020, own),
      Read32Line(0xFD6B0630, RiserDw0(board, 3)),
      "call SETUP.SetString(\"Setup\", 0x1A2B, \"VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM\") = EFI_SUCCESS",
      "call SETUP.SetString(\"Setup\", 0x1A2C, \"Enable or Disable VKT-PM2W-Q37 OPROM option.\") = EFI_SUCCESS",
  };
  EXPECT_EQ(CallsAndAccessesSince(boot.GetTrace(), mark), setupHandler);

  // The series is known now: the second handler goes straight to the pads.
  mark = boot.GetTrace().Mark();
  boot.InstallSmbiosService();
  std::vector<std::string> slotHandler = {"call BS.CloseEvent(event#3) = EFI_SUCCESS"};
  for (auto &line : RiserCodeReadLines(board)) slotHandler.push_back(line);
  for (const char *line : {
           "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
           "call SMBIOS.ReadStructure(type 9, instance 3) = EFI_SUCCESS",
           "call SMBIOS.DeleteStructure(handle 0x0029) = EFI_SUCCESS",
           "call BS.FreePool(pool#1) = EFI_SUCCESS",
           "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
           "call SMBIOS.ReadStructure(type 9, instance 1) = EFI_SUCCESS",
           "call SMBIOS.DeleteStructure(handle 0x0027) = EFI_SUCCESS",
           "call BS.FreePool(pool#2) = EFI_SUCCESS",
       })
    slotHandler.emplace_back(line);
  EXPECT_EQ(CallsAndAccessesSince(boot.GetTrace(), mark), slotHandler);
  ExpectNoProblems();
}

TEST_P(RiserTrace, SlotHandlerFirstReadsTheDeviceIdWhenItRunsFirst) {
  Boot &boot = StartBoot("shipped");
  boot.LoadDxe();
  boot.InstallSmbiosService();
  const auto accesses = boot.GetTrace().RegisterLines();
  ASSERT_EQ(accesses.size(), 9u);
  EXPECT_EQ(accesses[0], "R16 0xE00F8002 = 0xA305");
  // And the Setup handler after it does not read it again.
  const std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSetupStringService();
  EXPECT_EQ(CountStartingWith(AccessesSince(boot.GetTrace(), mark), kDeviceIdReadPrefix), 0u);
  EXPECT_EQ(AccessesSince(boot.GetTrace(), mark).size(), 8u);
}

TEST_P(RiserTrace, LpSeriesReadsOnlyTheDeviceIdAndDeletesInstancesThreeThenTwo) {
  Boot &boot = StartBoot("lp-pch");
  boot.LoadDxe();
  std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSetupStringService();
  // The H-series pads do not exist on this PCH: every read fails its check.
  const std::vector<std::string> setupHandler = {
      "call BS.LocateProtocol(SETUP_STRING_PROTOCOL) = EFI_SUCCESS",
      "call BS.CloseEvent(event#2) = EFI_SUCCESS",
      "R16 0xE00F8002 = 0x9D84",
  };
  EXPECT_EQ(CallsAndAccessesSince(boot.GetTrace(), mark), setupHandler);
  EXPECT_TRUE(boot.Services().SetupWrites().empty());

  mark = boot.GetTrace().Mark();
  boot.InstallSmbiosService();
  const std::vector<std::string> slotHandler = {
      "call BS.CloseEvent(event#3) = EFI_SUCCESS",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
      "call SMBIOS.ReadStructure(type 9, instance 3) = EFI_SUCCESS",
      "call SMBIOS.DeleteStructure(handle 0x0029) = EFI_SUCCESS",
      "call BS.FreePool(pool#1) = EFI_SUCCESS",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
      "call SMBIOS.ReadStructure(type 9, instance 2) = EFI_SUCCESS",
      "call SMBIOS.DeleteStructure(handle 0x0028) = EFI_SUCCESS",
      "call BS.FreePool(pool#2) = EFI_SUCCESS",
  };
  EXPECT_EQ(CallsAndAccessesSince(boot.GetTrace(), mark), slotHandler);
  ASSERT_EQ(boot.Services().RemainingSlots().size(), 1u);
  EXPECT_EQ(boot.Services().RemainingSlots()[0].handle, 0x0027);
  ExpectNoProblems();
}

TEST_P(RiserTrace, UnrecognisedPchIsProbedAgainBeforeEveryPadRegister) {
  Boot &boot = StartBoot("unknown-pch");
  boot.LoadDxe();
  for (int handler = 0; handler < 2; ++handler) {
    SCOPED_TRACE(handler == 0 ? "Setup string handler" : "SMBIOS slot handler");
    const std::size_t mark = boot.GetTrace().Mark();
    if (handler == 0)
      boot.InstallSetupStringService();
    else
      boot.InstallSmbiosService();
    const auto accesses = AccessesSince(boot.GetTrace(), mark);
    // The H table still applies, so the same eight pad registers are read.
    std::vector<std::string> padReads;
    for (const auto &line : accesses)
      if (!StartsWith(line, kDeviceIdReadPrefix)) padReads.push_back(line);
    EXPECT_EQ(padReads, RiserCodeReadLines(boot.Board()));
    // Nothing is cached: the device id is read afresh ahead of each one.
    ASSERT_FALSE(accesses.empty());
    EXPECT_EQ(accesses.front(), "R16 0xE00F8002 = 0x1234");
    for (std::size_t i = 1; i < accesses.size(); ++i)
      if (!StartsWith(accesses[i], kDeviceIdReadPrefix))
        EXPECT_TRUE(StartsWith(accesses[i - 1], kDeviceIdReadPrefix)) << "before " << accesses[i];
  }
  // The pads read 0,1,1,1: the x16 riser is still recognised.
  ASSERT_EQ(boot.Services().SetupWrites().size(), 2u);
  EXPECT_EQ(boot.Services().SetupWrites()[0].text, "VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM");
  ExpectNoProblems();
}

TEST_P(RiserTrace, PadOwnedByAnotherAgentHasItsDw0LeftUnread) {
  Boot &boot = StartBoot("foreign-owner");
  boot.LoadDxe();
  const std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSetupStringService();
  const std::uint32_t own = RiserOwnershipWord(boot.Board());
  EXPECT_EQ(own & 0xF0, 0x10u) << "the board gives pad 1 to agent 1";
  const std::vector<std::string> expected = {
      "R16 0xE00F8002 = 0xA305",
      Read32Line(0xFD6B0020, own),
      Read32Line(0xFD6B0600, RiserDw0(boot.Board(), 0)),
      Read32Line(0xFD6B0020, own),
      Read32Line(0xFD6B0020, own),
      Read32Line(0xFD6B0620, RiserDw0(boot.Board(), 2)),
      Read32Line(0xFD6B0020, own),
      Read32Line(0xFD6B0630, RiserDw0(boot.Board(), 3)),
  };
  EXPECT_EQ(AccessesSince(boot.GetTrace(), mark), expected);
  ExpectNoProblems();
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(RiserTrace);

}  // namespace
}  // namespace boardsim::testing
