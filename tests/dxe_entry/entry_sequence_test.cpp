// BoardDxe's entry on a board where every service works: what it calls, in
// which order, and what it leaves behind.
#include <string>
#include <vector>

#include "sim/core/known_guids.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

class EntrySequence : public ScenarioTest {};

TEST_P(EntrySequence, InstallsHookThenWiresReadyToBootSetupAndSmbiosInThatOrder) {
  Boot &boot = StartBoot("shipped");
  const std::size_t mark = boot.GetTrace().Mark();
  EXPECT_EQ(boot.LoadDxe(), EFI_SUCCESS);

  // The image handle is handle#0: the hook protocol gets a new handle.
  const std::vector<std::string> expected = {
      "call BS.InstallProtocolInterface(BOARD_HOOK_PROTOCOL) = EFI_SUCCESS, handle#1",
      "call BS.CreateEventEx(0x200, TPL_CALLBACK, EFI_EVENT_GROUP_READY_TO_BOOT) = EFI_SUCCESS, event#1",
      "call BS.CreateEvent(0x200, TPL_CALLBACK) = EFI_SUCCESS, event#2",
      "call BS.RegisterProtocolNotify(SETUP_STRING_PROTOCOL, event#2) = EFI_SUCCESS",
      "call BS.CreateEvent(0x200, TPL_CALLBACK) = EFI_SUCCESS, event#3",
      "call BS.RegisterProtocolNotify(SMBIOS_TABLE_PROTOCOL, event#3) = EFI_SUCCESS",
  };
  // No register is touched and no handler runs during the entry.
  EXPECT_EQ(CallsAndAccessesSince(boot.GetTrace(), mark), expected);
  EXPECT_EQ(CountStartingWith(boot.GetTrace().LinesSince(mark), "notify "), 0u);
  ExpectNoProblems();
}

TEST_P(EntrySequence, LeavesThreeOpenCallbackEventsOnlyTheFirstInTheReadyToBootGroup) {
  Boot &boot = StartBoot("shipped");
  boot.LoadDxe();
  const auto events = boot.Dxe().Events();
  ASSERT_EQ(events.size(), 3u);
  for (const auto &event : events) {
    EXPECT_FALSE(event.closed) << "event#" << event.id;
    EXPECT_EQ(event.tpl, 8u) << "event#" << event.id;
    EXPECT_EQ(event.notifications, 0u) << "event#" << event.id;
  }
  EXPECT_EQ(events[0].group, ReadyToBootGroupGuid());
  EXPECT_EQ(events[1].group, std::nullopt);
  EXPECT_EQ(events[2].group, std::nullopt);
}

TEST_P(EntrySequence, HookProtocolIsTheOnlyProtocolTheDriverInstalls) {
  Boot &boot = StartBoot("shipped");
  boot.InstallPortLocator();
  boot.LoadDxe();
  const auto &protocols = boot.Dxe().Protocols();
  ASSERT_EQ(protocols.size(), 2u);
  EXPECT_EQ(protocols[0].protocol, PortLocatorProtocolGuid());
  EXPECT_EQ(protocols[1].protocol, BoardHookProtocolGuid());
  // A handle of its own, not the image handle nor the port locator's.
  EXPECT_EQ(protocols[1].handle, 2u);
  EXPECT_NE(protocols[1].interface, 0u);
}

TEST_P(EntrySequence, DefaultBootLeavesEveryDriverEventClosedAndNothingBehind) {
  Boot &boot = StartBoot("shipped");
  boot.RunDefaultSequence();
  EXPECT_EQ(boot.DxeStatus(), EFI_SUCCESS);
  for (const auto &event : boot.Dxe().Events()) {
    EXPECT_TRUE(event.closed) << "event#" << event.id;
    EXPECT_EQ(event.notifications, 1u) << "event#" << event.id;
  }
  EXPECT_EQ(boot.Dxe().Leaks(), std::vector<std::string>{});
  EXPECT_EQ(boot.Dxe().PoolErrors(), std::vector<std::string>{});
  ExpectNoProblems();
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(EntrySequence);

}  // namespace
}  // namespace boardsim::testing
