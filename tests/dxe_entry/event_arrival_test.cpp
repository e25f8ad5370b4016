// When the driver's handlers run: ReadyToBoot, and the arrival of the Setup
// string and SMBIOS services relative to the driver's load.
#include <string>
#include <vector>

#include "sim/core/known_guids.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

class EventArrival : public ScenarioTest {};

TEST_P(EventArrival, ReadyToBootTwiceRunsTheHandlerOnceAndItClosesItsEvent) {
  Boot &boot = StartBoot("shipped");
  boot.LoadDxe();
  std::size_t mark = boot.GetTrace().Mark();
  boot.SignalReadyToBoot();
  const std::vector<std::string> first = {
      "event EFI_EVENT_GROUP_READY_TO_BOOT signalled",
      "notify event#1 (ReadyToBoot handler) at TPL_CALLBACK",
      "call BS.CloseEvent(event#1) = EFI_SUCCESS",
  };
  EXPECT_EQ(boot.GetTrace().LinesSince(mark), first);

  mark = boot.GetTrace().Mark();
  boot.SignalReadyToBoot();
  EXPECT_EQ(boot.GetTrace().LinesSince(mark),
            std::vector<std::string>{"event EFI_EVENT_GROUP_READY_TO_BOOT signalled"});
  EXPECT_EQ(boot.Dxe().Events()[0].notifications, 1u);
  EXPECT_TRUE(boot.Dxe().Events()[0].closed);
  // ReadyToBoot has nothing to do with the other two events.
  EXPECT_FALSE(boot.Dxe().Events()[1].closed);
  EXPECT_FALSE(boot.Dxe().Events()[2].closed);
  ExpectNoProblems();
}

TEST_P(EventArrival, SmbiosServiceInstalledBeforeTheDriverNeverRunsTheSlotHandler) {
  Boot &boot = StartBoot("shipped");
  boot.InstallSmbiosService();
  boot.LoadDxe();
  boot.InstallSetupStringService();
  boot.SignalReadyToBoot();

  const auto events = boot.Dxe().Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[2].notifications, 0u);
  EXPECT_FALSE(events[2].closed);
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "SMBIOS."), 0u);
  EXPECT_EQ(CountStartingWith(boot.GetTrace().Calls(), "BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL)"), 0u);
  EXPECT_TRUE(boot.Services().DeletedSlots().empty());
  EXPECT_EQ(boot.Services().RemainingSlots().size(), 3u);
  // The Setup side is unaffected.
  EXPECT_EQ(boot.Services().SetupWrites().size(), 2u);
  ExpectNoProblems();
}

TEST_P(EventArrival, SetupStringsAreSetAtTheSecondArrivalWhenTheFirstLookupFails) {
  BoardConfig board = ShippedBoard();
  board.failures.push_back({"BS.LocateProtocol", 1, EFI_NOT_FOUND});
  Boot &boot = StartBoot(std::move(board));
  boot.LoadDxe();

  std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSetupStringService();
  // The handler gives up before closing its event and before reading pads.
  const std::vector<std::string> firstArrival = {
      "call BS.LocateProtocol(SETUP_STRING_PROTOCOL) = EFI_NOT_FOUND (injected)",
  };
  EXPECT_EQ(CallsAndAccessesSince(boot.GetTrace(), mark), firstArrival);
  EXPECT_TRUE(boot.Services().SetupWrites().empty());
  EXPECT_FALSE(boot.Dxe().Events()[1].closed);

  mark = boot.GetTrace().Mark();
  boot.InstallSetupStringService();
  const auto secondArrival = CallsAndAccessesSince(boot.GetTrace(), mark);
  ASSERT_GE(secondArrival.size(), 2u);
  EXPECT_EQ(secondArrival[0], "call BS.LocateProtocol(SETUP_STRING_PROTOCOL) = EFI_SUCCESS");
  EXPECT_EQ(secondArrival[1], "call BS.CloseEvent(event#2) = EFI_SUCCESS");
  const auto &writes = boot.Services().SetupWrites();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].token, 0x1A2Bu);
  EXPECT_EQ(writes[1].token, 0x1A2Cu);
  EXPECT_EQ(boot.Dxe().Events()[1].notifications, 2u);

  // Closed now: a third arrival reaches nobody.
  mark = boot.GetTrace().Mark();
  boot.InstallSetupStringService();
  EXPECT_EQ(CountStartingWith(boot.GetTrace().LinesSince(mark), "notify "), 0u);
  EXPECT_EQ(boot.Services().SetupWrites().size(), 2u);
  ExpectNoProblems();
}

TEST_P(EventArrival, SetupLookupHandingBackNoInterfaceCountsAsFailed) {
  Boot &boot = StartBoot("shipped");
  boot.LoadDxe();
  boot.Dxe().HandBackNullInterface(SetupStringProtocolGuid());

  std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSetupStringService();
  const std::vector<std::string> firstArrival = {
      "call BS.LocateProtocol(SETUP_STRING_PROTOCOL) = EFI_SUCCESS, NULL interface",
  };
  EXPECT_EQ(CallsAndAccessesSince(boot.GetTrace(), mark), firstArrival);
  EXPECT_FALSE(boot.Dxe().Events()[1].closed);

  // Still armed: the next arrival with a working lookup sets the texts.
  boot.Dxe().HandBackNullInterface(std::nullopt);
  boot.InstallSetupStringService();
  EXPECT_TRUE(boot.Dxe().Events()[1].closed);
  EXPECT_EQ(boot.Services().SetupWrites().size(), 2u);
  ExpectNoProblems();
}

TEST_P(EventArrival, SlotHandlerRunsOnceEvenIfTheServiceArrivesAgain) {
  Boot &boot = StartBoot("shipped");
  boot.LoadDxe();
  boot.InstallSmbiosService();
  const std::size_t mark = boot.GetTrace().Mark();
  boot.InstallSmbiosService();
  EXPECT_EQ(CountStartingWith(boot.GetTrace().LinesSince(mark), "notify "), 0u);
  EXPECT_EQ(boot.Services().DeletedSlots().size(), 2u);
  EXPECT_EQ(boot.Dxe().Events()[2].notifications, 1u);
  ExpectNoProblems();
}

TEST_P(EventArrival, HandlersMayRunInEitherOrder) {
  Boot &boot = StartBoot("x8");
  boot.LoadDxe();
  boot.InstallSmbiosService();
  boot.InstallSetupStringService();
  ASSERT_EQ(boot.Services().SetupWrites().size(), 2u);
  EXPECT_EQ(boot.Services().SetupWrites()[0].text, "VKT-PM2W-Q5 PCI-E 3.0 X8 OPROM");
  ASSERT_EQ(boot.Services().DeletedSlots().size(), 2u);
  EXPECT_EQ(boot.Services().DeletedSlots()[0].instance, 2);
  EXPECT_EQ(boot.Services().DeletedSlots()[1].instance, 1);
  ExpectNoProblems();
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(EventArrival);

}  // namespace
}  // namespace boardsim::testing
