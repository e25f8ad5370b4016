// BoardDxe's entry when a boot service fails or warns: which statuses it
// passes on, which it ignores, and what stays wired afterwards.
#include <string>
#include <vector>

#include "sim/core/known_guids.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

constexpr const char *kX16Prompt = "VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM";

class EntryFailures : public ScenarioTest {
 protected:
  // The shipped board with one failure planted.
  Boot &StartWithFailure(const std::string &service, unsigned nth, std::uint64_t status) {
    BoardConfig board = ShippedBoard();
    board.failures.push_back({service, nth, status});
    return StartBoot(std::move(board));
  }

  // The two services arrive after the entry, as on a real boot.
  static void ServicesArrive(Boot &boot) {
    boot.InstallSetupStringService();
    boot.InstallSmbiosService();
  }
};

TEST_P(EntryFailures, WarningFromSmbiosEventCreationIsReturnedAndNothingIsRegisteredForSmbios) {
  Boot &boot = StartWithFailure("BS.CreateEvent", 2, EFI_WARN_UNKNOWN_GLYPH);
  EXPECT_EQ(boot.LoadDxe(), EFI_WARN_UNKNOWN_GLYPH);
  const auto calls = boot.GetTrace().Calls();
  ASSERT_FALSE(calls.empty());
  // The sequence ends at the warning: the event exists but is never registered.
  EXPECT_EQ(calls.back(), "BS.CreateEvent(0x200, TPL_CALLBACK) = EFI_WARN_UNKNOWN_GLYPH (injected), event#3");
  EXPECT_EQ(CountStartingWith(calls, "BS.RegisterProtocolNotify(SMBIOS_TABLE_PROTOCOL"), 0u);

  ServicesArrive(boot);
  // Setup is still adapted; the slot records are left alone.
  ASSERT_EQ(boot.Services().SetupWrites().size(), 2u);
  EXPECT_EQ(boot.Services().SetupWrites()[0].text, kX16Prompt);
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "SMBIOS."), 0u);
  EXPECT_EQ(boot.Services().RemainingSlots().size(), 3u);
  ExpectNoProblems();
}

TEST_P(EntryFailures, ErrorFromSmbiosEventCreationIsReturned) {
  Boot &boot = StartWithFailure("BS.CreateEvent", 2, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(boot.LoadDxe(), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "BS.RegisterProtocolNotify(SMBIOS_TABLE_PROTOCOL"), 0u);
  ExpectNoProblems();
}

TEST_P(EntryFailures, SetupEventFailingSkipsItsRegistrationButSmbiosIsStillWired) {
  Boot &boot = StartWithFailure("BS.CreateEvent", 1, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(boot.LoadDxe(), EFI_SUCCESS);
  const std::vector<std::string> expected = {
      "BS.InstallProtocolInterface(BOARD_HOOK_PROTOCOL) = EFI_SUCCESS, handle#1",
      "BS.CreateEventEx(0x200, TPL_CALLBACK, EFI_EVENT_GROUP_READY_TO_BOOT) = EFI_SUCCESS, event#1",
      "BS.CreateEvent(0x200, TPL_CALLBACK) = EFI_OUT_OF_RESOURCES (injected)",
      "BS.CreateEvent(0x200, TPL_CALLBACK) = EFI_SUCCESS, event#2",
      "BS.RegisterProtocolNotify(SMBIOS_TABLE_PROTOCOL, event#2) = EFI_SUCCESS",
  };
  EXPECT_EQ(boot.GetTrace().Calls(), expected);

  ServicesArrive(boot);
  EXPECT_TRUE(boot.Services().SetupWrites().empty());
  ASSERT_EQ(boot.Services().DeletedSlots().size(), 2u);
  EXPECT_EQ(boot.Services().DeletedSlots()[0].instance, 3);
  EXPECT_EQ(boot.Services().DeletedSlots()[1].instance, 1);
  ExpectNoProblems();
}

TEST_P(EntryFailures, SetupEventWarningStillRegistersForTheStringService) {
  // Only an error status stops the registration; a service answering a
  // warning has created the event, and the driver registers it.
  Boot &boot = StartWithFailure("BS.CreateEvent", 1, EFI_WARN_UNKNOWN_GLYPH);
  EXPECT_EQ(boot.LoadDxe(), EFI_SUCCESS);
  const auto calls = boot.GetTrace().Calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[2], "BS.CreateEvent(0x200, TPL_CALLBACK) = EFI_WARN_UNKNOWN_GLYPH (injected), event#2");
  EXPECT_EQ(calls[3], "BS.RegisterProtocolNotify(SETUP_STRING_PROTOCOL, event#2) = EFI_SUCCESS");
  EXPECT_EQ(calls[5], "BS.RegisterProtocolNotify(SMBIOS_TABLE_PROTOCOL, event#3) = EFI_SUCCESS");
  ServicesArrive(boot);
  EXPECT_EQ(boot.Services().SetupWrites().size(), 2u);
  ExpectNoProblems();
}

TEST_P(EntryFailures, ReadyToBootEventFailingIsIgnored) {
  Boot &boot = StartWithFailure("BS.CreateEventEx", 1, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(boot.LoadDxe(), EFI_SUCCESS);
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "BS.RegisterProtocolNotify("), 2u);

  ServicesArrive(boot);
  const std::size_t mark = boot.GetTrace().Mark();
  boot.SignalReadyToBoot();
  // Nothing of the driver's listens to ReadyToBoot.
  EXPECT_EQ(CountStartingWith(boot.GetTrace().LinesSince(mark), "notify "), 0u);
  EXPECT_EQ(boot.Services().SetupWrites().size(), 2u);
  EXPECT_EQ(boot.Services().DeletedSlots().size(), 2u);
  ExpectNoProblems();
}

TEST_P(EntryFailures, HookProtocolInstallationFailingIsIgnored) {
  Boot &boot = StartWithFailure("BS.InstallProtocolInterface", 1, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(boot.LoadDxe(), EFI_SUCCESS);
  EXPECT_EQ(boot.Dxe().FindProtocol(BoardHookProtocolGuid()), std::nullopt);
  EXPECT_EQ(boot.Dxe().Events().size(), 3u);
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "BS.RegisterProtocolNotify("), 2u);
  ServicesArrive(boot);
  EXPECT_EQ(boot.Services().SetupWrites().size(), 2u);
  EXPECT_EQ(boot.Services().DeletedSlots().size(), 2u);
  ExpectNoProblems();
}

TEST_P(EntryFailures, SmbiosRegistrationStatusBecomesTheEntryResult) {
  for (const std::uint64_t status : {EFI_OUT_OF_RESOURCES, EFI_INVALID_PARAMETER, EFI_WARN_UNKNOWN_GLYPH}) {
    SCOPED_TRACE(::testing::Message() << "RegisterProtocolNotify(SMBIOS) returns 0x" << std::hex << status);
    Boot &boot = StartWithFailure("BS.RegisterProtocolNotify", 2, status);
    EXPECT_EQ(boot.LoadDxe(), status);
    ServicesArrive(boot);
    // A registration that answered a warning was made: the slot handler runs.
    EXPECT_EQ(boot.Services().RemainingSlots().size(), EFI_ERROR(status) ? 3u : 1u);
    EXPECT_EQ(boot.Services().SetupWrites().size(), 2u);
    ExpectNoProblems();
  }
}

TEST_P(EntryFailures, SetupRegistrationFailingIsIgnored) {
  Boot &boot = StartWithFailure("BS.RegisterProtocolNotify", 1, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(boot.LoadDxe(), EFI_SUCCESS);
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "BS.RegisterProtocolNotify(SMBIOS_TABLE_PROTOCOL"), 1u);
  ServicesArrive(boot);
  EXPECT_TRUE(boot.Services().SetupWrites().empty());
  EXPECT_EQ(boot.Services().DeletedSlots().size(), 2u);
  ExpectNoProblems();
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(EntryFailures);

}  // namespace
}  // namespace boardsim::testing
