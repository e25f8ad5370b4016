// Deleting the slot records of the risers that are not fitted when the
// SMBIOS service or its lookup fails, or answers a read oddly.
#include <string>
#include <vector>

#include "sim/core/known_guids.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

class SlotRecordDeletion : public ScenarioTest {
 protected:
  // The shipped board (x16: instances 3 then 1 go) with one failure planted;
  // the SMBIOS service arrives after the driver has loaded.
  Boot &BootWithFailure(const std::string &service, unsigned nth, std::uint64_t status) {
    BoardConfig board = ShippedBoard();
    board.failures.push_back({service, nth, status});
    Boot &boot = StartBoot(std::move(board));
    boot.LoadDxe();
    return boot;
  }

  std::vector<std::uint16_t> DeletedHandles() {
    std::vector<std::uint16_t> handles;
    for (const auto &slot : CurrentBoot().Services().DeletedSlots()) handles.push_back(slot.handle);
    return handles;
  }

  // The handler closed its event, and a second arrival of the service does
  // not run it again.
  void ExpectHandlerDone() {
    Boot &boot = CurrentBoot();
    EXPECT_TRUE(boot.Dxe().Events()[2].closed);
    const std::size_t mark = boot.GetTrace().Mark();
    boot.InstallSmbiosService();
    EXPECT_EQ(CountStartingWith(boot.GetTrace().LinesSince(mark), "notify "), 0u);
  }
};

TEST_P(SlotRecordDeletion, FailedReadOfTheFirstRecordStillDeletesTheSecond) {
  Boot &boot = BootWithFailure("SMBIOS.ReadStructure", 1, EFI_NOT_FOUND);
  const std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSmbiosService();
  const auto calls = StartingWith(CallsAndAccessesSince(boot.GetTrace(), mark), "call ");
  const std::vector<std::string> expected = {
      "call BS.CloseEvent(event#3) = EFI_SUCCESS",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
      "call SMBIOS.ReadStructure(type 9, instance 3) = EFI_NOT_FOUND (injected)",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
      "call SMBIOS.ReadStructure(type 9, instance 1) = EFI_SUCCESS",
      "call SMBIOS.DeleteStructure(handle 0x0027) = EFI_SUCCESS",
      "call BS.FreePool(pool#1) = EFI_SUCCESS",
  };
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(DeletedHandles(), std::vector<std::uint16_t>{0x0027});
  ExpectHandlerDone();
  ExpectNoProblems();
}

TEST_P(SlotRecordDeletion, FailedReadOfTheSecondRecordKeepsTheFirstDeletion) {
  Boot &boot = BootWithFailure("SMBIOS.ReadStructure", 2, EFI_DEVICE_ERROR);
  boot.InstallSmbiosService();
  EXPECT_EQ(DeletedHandles(), std::vector<std::uint16_t>{0x0029});
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "BS.FreePool("), 1u);
  ExpectHandlerDone();
  ExpectNoProblems();
}

TEST_P(SlotRecordDeletion, FailedServiceLookupSkipsOnlyThatDeletion) {
  // The first LocateProtocol of this boot is the first deletion's.
  Boot &boot = BootWithFailure("BS.LocateProtocol", 1, EFI_NOT_FOUND);
  const std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSmbiosService();
  const auto calls = StartingWith(CallsAndAccessesSince(boot.GetTrace(), mark), "call ");
  const std::vector<std::string> expected = {
      "call BS.CloseEvent(event#3) = EFI_SUCCESS",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_NOT_FOUND (injected)",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
      "call SMBIOS.ReadStructure(type 9, instance 1) = EFI_SUCCESS",
      "call SMBIOS.DeleteStructure(handle 0x0027) = EFI_SUCCESS",
      "call BS.FreePool(pool#1) = EFI_SUCCESS",
  };
  EXPECT_EQ(calls, expected);
  ExpectHandlerDone();
  ExpectNoProblems();
}

TEST_P(SlotRecordDeletion, LookupHandingBackNoInterfaceSkipsTheDeletion) {
  Boot &boot = StartBoot("shipped");
  boot.LoadDxe();
  boot.Dxe().HandBackNullInterface(SmbiosTableProtocolGuid());
  const std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSmbiosService();
  const std::vector<std::string> expected = {
      "call BS.CloseEvent(event#3) = EFI_SUCCESS",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS, NULL interface",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS, NULL interface",
  };
  EXPECT_EQ(StartingWith(CallsAndAccessesSince(boot.GetTrace(), mark), "call "), expected);
  EXPECT_TRUE(DeletedHandles().empty());
  ExpectHandlerDone();
  ExpectNoProblems();
}

TEST_P(SlotRecordDeletion, BothLookupsFailingStillClosesTheHandler) {
  BoardConfig board = ShippedBoard();
  board.failures = {{"BS.LocateProtocol", 1, EFI_NOT_FOUND}, {"BS.LocateProtocol", 2, EFI_NOT_FOUND}};
  Boot &boot = StartBoot(std::move(board));
  boot.LoadDxe();
  boot.InstallSmbiosService();
  EXPECT_TRUE(DeletedHandles().empty());
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "SMBIOS."), 0u);
  ExpectHandlerDone();
  ExpectNoProblems();
}

TEST_P(SlotRecordDeletion, ReadWarningIsNoFailure) {
  Boot &boot = BootWithFailure("SMBIOS.ReadStructure", 1, EFI_WARN_UNKNOWN_GLYPH);
  boot.InstallSmbiosService();
  EXPECT_EQ(DeletedHandles(), (std::vector<std::uint16_t>{0x0029, 0x0027}));
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "BS.FreePool("), 2u);
  ExpectNoProblems();
}

TEST_P(SlotRecordDeletion, DeleteStatusIsIgnored) {
  Boot &boot = BootWithFailure("SMBIOS.DeleteStructure", 1, EFI_DEVICE_ERROR);
  boot.InstallSmbiosService();
  // The copy is freed all the same, and the second record is still deleted.
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "BS.FreePool("), 2u);
  EXPECT_EQ(DeletedHandles(), std::vector<std::uint16_t>{0x0027});
  ExpectNoProblems();
}

TEST_P(SlotRecordDeletion, ReadSucceedingWithoutABufferDeletesAndFreesNothing) {
  Boot &boot = StartBoot("shipped");
  boot.Services().SetSmbiosReadQuirk(SmbiosReadQuirk::NullBuffer);
  boot.LoadDxe();
  const std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSmbiosService();
  const auto calls = StartingWith(CallsAndAccessesSince(boot.GetTrace(), mark), "call ");
  const std::vector<std::string> expected = {
      "call BS.CloseEvent(event#3) = EFI_SUCCESS",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
      "call SMBIOS.ReadStructure(type 9, instance 3) = EFI_SUCCESS",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
      "call SMBIOS.ReadStructure(type 9, instance 1) = EFI_SUCCESS",
  };
  EXPECT_EQ(calls, expected);
  EXPECT_TRUE(DeletedHandles().empty());
  EXPECT_EQ(boot.Dxe().PoolErrors(), std::vector<std::string>{});
  ExpectHandlerDone();
  ExpectNoProblems();
}

TEST_P(SlotRecordDeletion, RecordShorterThanItsHeaderIsFreedButNotDeleted) {
  Boot &boot = StartBoot("shipped");
  boot.Services().SetSmbiosReadQuirk(SmbiosReadQuirk::ShortRecord);
  boot.LoadDxe();
  const std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSmbiosService();
  const auto calls = StartingWith(CallsAndAccessesSince(boot.GetTrace(), mark), "call ");
  const std::vector<std::string> expected = {
      "call BS.CloseEvent(event#3) = EFI_SUCCESS",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
      "call SMBIOS.ReadStructure(type 9, instance 3) = EFI_SUCCESS",
      "call BS.FreePool(pool#1) = EFI_SUCCESS",
      "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS",
      "call SMBIOS.ReadStructure(type 9, instance 1) = EFI_SUCCESS",
      "call BS.FreePool(pool#2) = EFI_SUCCESS",
  };
  EXPECT_EQ(calls, expected);
  EXPECT_TRUE(DeletedHandles().empty());
  EXPECT_EQ(boot.Dxe().Leaks(), std::vector<std::string>{});
  ExpectNoProblems();
}

TEST_P(SlotRecordDeletion, RecordOfJustItsHeaderStillNamesItsHandle) {
  Boot &boot = StartBoot("shipped");
  boot.Services().SetSmbiosReadQuirk(SmbiosReadQuirk::HeaderOnly);
  boot.LoadDxe();
  boot.InstallSmbiosService();
  EXPECT_EQ(DeletedHandles(), (std::vector<std::uint16_t>{0x0029, 0x0027}));
  EXPECT_EQ(boot.Dxe().Leaks(), std::vector<std::string>{});
  ExpectNoProblems();
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(SlotRecordDeletion);

}  // namespace
}  // namespace boardsim::testing
