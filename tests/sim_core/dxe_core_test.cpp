// The DXE core model's own semantics, driven directly as guest code would
// call it: protocol-arrival notification, event groups, closing events, the
// one-at-a-time dispatch of notify functions, LocateProtocol's output, pool
// checks and handle creation. A fault here would hide or invent a fault in
// BoardDxe, so each is pinned on its own.
#include "sim/core/dxe_core.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/board/board_config.h"
#include "sim/core/known_guids.h"
#include "sim/hw/hardware_model.h"
#include "tests/sim_core/fake_machine.h"
#include "uefi/boot_services.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr std::uint64_t kNotifySignal = 0x200;
constexpr std::uint64_t kPoolType = 4;  // EfiBootServicesData
constexpr std::uint8_t kUntouched = 0xA5;

class DxeCoreModel : public ::testing::Test {
 protected:
  std::uint64_t Call(Service service, std::vector<std::uint64_t> arguments) { return dxe_.Call(service, arguments); }
  FakeMemory &Memory() { return machine_.Memory(); }
  GuestAddr GuidAt(const Guid &guid) { return Memory().AllocateGuid(guid); }
  GuestAddr OutCell() { return Memory().AllocateFilled(8, kUntouched); }

  // A notify-signal event at TPL_CALLBACK whose notify function logs its name
  // (and then does `more`, as guest code calling services from a handler).
  GuestAddr CreateLoggingEvent(const std::string &name, std::optional<Guid> group = std::nullopt,
                               std::function<void()> more = {}) {
    const GuestAddr notify = machine_.Define([this, name, more](std::span<const std::uint64_t>) {
      log_.push_back(name);
      if (more) more();
      return std::uint64_t{0};
    });
    const GuestAddr out = OutCell();
    const std::uint64_t status =
        group ? Call(Service::BsCreateEventEx, {kNotifySignal, TPL_CALLBACK, notify, 0, GuidAt(*group), out})
              : Call(Service::BsCreateEvent, {kNotifySignal, TPL_CALLBACK, notify, 0, out});
    EXPECT_EQ(status, EFI_SUCCESS) << "creating event " << name;
    return Memory().ReadPointer(out);
  }

  GuestAddr RegisterArrival(const Guid &protocol, GuestAddr event) {
    const GuestAddr key = OutCell();
    EXPECT_EQ(Call(Service::BsRegisterProtocolNotify, {GuidAt(protocol), event, key}), EFI_SUCCESS);
    return Memory().ReadPointer(key);
  }

  // A guest installation on a new handle; returns the handle written back.
  GuestAddr InstallOnNewHandle(const Guid &protocol, GuestAddr interface) {
    const GuestAddr handle = Memory().AllocateFilled(8, 0);
    EXPECT_EQ(Call(Service::BsInstallProtocolInterface, {handle, GuidAt(protocol), EFI_NATIVE_INTERFACE, interface}),
              EFI_SUCCESS);
    return Memory().ReadPointer(handle);
  }

  // Locates by registration key (0: any instance); the interface, or 0.
  std::pair<std::uint64_t, GuestAddr> Locate(const Guid &protocol, GuestAddr key = 0) {
    const GuestAddr out = OutCell();
    const std::uint64_t status = Call(Service::BsLocateProtocol, {GuidAt(protocol), key, out});
    return {status, Memory().ReadPointer(out)};
  }

  GuestAddr AllocatePool(std::uint64_t size) {
    const GuestAddr out = OutCell();
    EXPECT_EQ(Call(Service::BsAllocatePool, {kPoolType, size, out}), EFI_SUCCESS);
    return Memory().ReadPointer(out);
  }

  unsigned Notifications(unsigned eventId) const {
    for (const auto &event : dxe_.Events())
      if (event.id == eventId) return event.notifications;
    ADD_FAILURE() << "no event#" << eventId;
    return 0;
  }

  BoardConfig board_ = ShippedBoard();
  Trace trace_;
  FailurePlan failures_;
  HardwareModel hardware_{board_, trace_};
  FakeMachine machine_{8};
  DxeCore dxe_{machine_, trace_, failures_, hardware_};
  std::vector<std::string> log_;
};

TEST_F(DxeCoreModel, ArrivalNotifyFiresOnlyForInstallationsAfterRegistration) {
  const GuestAddr before = Memory().Allocate(16);
  const GuestAddr after = Memory().Allocate(16);
  dxe_.InstallFromComponent(SmbiosTableProtocolGuid(), before);
  const GuestAddr event = CreateLoggingEvent("smbios arrived");
  const GuestAddr key = RegisterArrival(SmbiosTableProtocolGuid(), event);
  EXPECT_THAT(log_, IsEmpty());

  dxe_.InstallFromComponent(SetupStringProtocolGuid(), Memory().Allocate(16));
  EXPECT_THAT(log_, IsEmpty());

  const std::size_t mark = trace_.Mark();
  dxe_.InstallFromComponent(SmbiosTableProtocolGuid(), after);
  EXPECT_THAT(log_, ElementsAre("smbios arrived"));
  EXPECT_THAT(trace_.LinesSince(mark), ElementsAre("event SMBIOS_TABLE_PROTOCOL installed by another component on "
                                                   "handle#3",
                                                   "notify event#1 (SMBIOS slot handler) at TPL_CALLBACK"));
  // The key hands out the later instance once; the earlier one never.
  EXPECT_EQ(Locate(SmbiosTableProtocolGuid(), key), std::make_pair(std::uint64_t{EFI_SUCCESS}, after));
  EXPECT_EQ(Locate(SmbiosTableProtocolGuid(), key), std::make_pair(std::uint64_t{EFI_NOT_FOUND}, GuestAddr{0}));
  EXPECT_EQ(Notifications(1), 1u);
}

TEST_F(DxeCoreModel, EventCallsAreTracedWithTypeLevelGroupAndResult) {
  const GuestAddr event = CreateLoggingEvent("ready to boot", ReadyToBootGroupGuid());
  const GuestAddr arrival = CreateLoggingEvent("setup arrived");
  RegisterArrival(SetupStringProtocolGuid(), arrival);
  Call(Service::BsCloseEvent, {event});
  Call(Service::BsCreateEvent, {kNotifySignal, TPL_APPLICATION, machine_.Define({}), 0, OutCell()});

  EXPECT_THAT(trace_.Lines(),
              ElementsAre("call BS.CreateEventEx(0x200, TPL_CALLBACK, EFI_EVENT_GROUP_READY_TO_BOOT) = EFI_SUCCESS, "
                          "event#1",
                          "call BS.CreateEvent(0x200, TPL_CALLBACK) = EFI_SUCCESS, event#2",
                          "call BS.RegisterProtocolNotify(SETUP_STRING_PROTOCOL, event#2) = EFI_SUCCESS",
                          "call BS.CloseEvent(event#1) = EFI_SUCCESS",
                          // A notify function cannot run at the application's own level.
                          "call BS.CreateEvent(0x200, TPL_APPLICATION) = EFI_INVALID_PARAMETER"));
}

TEST_F(DxeCoreModel, SignalGroupReachesEveryEventOfTheGroupAndNoOther) {
  CreateLoggingEvent("ready to boot A", ReadyToBootGroupGuid());
  CreateLoggingEvent("plain");
  CreateLoggingEvent("other group", SetupStringProtocolGuid());
  CreateLoggingEvent("ready to boot B", ReadyToBootGroupGuid());

  dxe_.SignalGroup(ReadyToBootGroupGuid());

  EXPECT_THAT(log_, ElementsAre("ready to boot A", "ready to boot B"));
  EXPECT_EQ(Notifications(1), 1u);
  EXPECT_EQ(Notifications(2), 0u);
  EXPECT_EQ(Notifications(3), 0u);
  EXPECT_EQ(Notifications(4), 1u);
}

TEST_F(DxeCoreModel, ClosedEventIsNeverNotifiedAndItsRegistrationIsGone) {
  const GuestAddr arrival = CreateLoggingEvent("smbios arrived");
  const GuestAddr key = RegisterArrival(SmbiosTableProtocolGuid(), arrival);
  const GuestAddr group = CreateLoggingEvent("ready to boot", ReadyToBootGroupGuid());

  EXPECT_EQ(Call(Service::BsCloseEvent, {arrival}), EFI_SUCCESS);
  EXPECT_EQ(Call(Service::BsCloseEvent, {group}), EFI_SUCCESS);
  dxe_.InstallFromComponent(SmbiosTableProtocolGuid(), Memory().Allocate(16));
  dxe_.SignalGroup(ReadyToBootGroupGuid());

  EXPECT_THAT(log_, IsEmpty());
  EXPECT_EQ(Locate(SmbiosTableProtocolGuid(), key), std::make_pair(std::uint64_t{EFI_NOT_FOUND}, GuestAddr{0}));
  EXPECT_EQ(Call(Service::BsCloseEvent, {arrival}), EFI_INVALID_PARAMETER);
  for (const auto &event : dxe_.Events()) {
    EXPECT_TRUE(event.closed) << "event#" << event.id;
    EXPECT_EQ(event.notifications, 0u) << "event#" << event.id;
  }
}

TEST_F(DxeCoreModel, SignalledEventClosedBeforeItsNotifyRunsIsDropped) {
  const GuestAddr closing = CreateLoggingEvent("closed while pending");
  RegisterArrival(SmbiosTableProtocolGuid(), closing);
  const GuestAddr staying = CreateLoggingEvent("still open");
  RegisterArrival(SmbiosTableProtocolGuid(), staying);

  // Above TPL_CALLBACK the notifications wait for the level to drop.
  EXPECT_EQ(Call(Service::BsRaiseTpl, {TPL_NOTIFY}), TPL_APPLICATION);
  InstallOnNewHandle(SmbiosTableProtocolGuid(), Memory().Allocate(16));
  EXPECT_THAT(log_, IsEmpty());
  EXPECT_EQ(Call(Service::BsCloseEvent, {closing}), EFI_SUCCESS);
  Call(Service::BsRestoreTpl, {TPL_APPLICATION});

  EXPECT_THAT(log_, ElementsAre("still open"));
}

TEST_F(DxeCoreModel, NotifyInstallingAWatchedProtocolDoesNotNest) {
  std::optional<std::uint64_t> levelInFirst;
  const GuestAddr first = CreateLoggingEvent("setup handler begins", std::nullopt, [&] {
    // RaiseTPL to the same level reports the level the handler runs at.
    levelInFirst = Call(Service::BsRaiseTpl, {TPL_CALLBACK});
    Call(Service::BsRestoreTpl, {*levelInFirst});
    InstallOnNewHandle(SmbiosTableProtocolGuid(), Memory().Allocate(16));
    log_.push_back("setup handler ends");
  });
  RegisterArrival(SetupStringProtocolGuid(), first);
  const GuestAddr second = CreateLoggingEvent("smbios handler");
  RegisterArrival(SmbiosTableProtocolGuid(), second);
  const std::size_t mark = trace_.Mark();

  dxe_.InstallFromComponent(SetupStringProtocolGuid(), Memory().Allocate(16));

  EXPECT_THAT(log_, ElementsAre("setup handler begins", "setup handler ends", "smbios handler"));
  EXPECT_EQ(levelInFirst, TPL_CALLBACK);
  EXPECT_THAT(trace_.LinesSince(mark),
              ElementsAre("event SETUP_STRING_PROTOCOL installed by another component on handle#1",
                          "notify event#1 (Setup string handler) at TPL_CALLBACK",
                          "call BS.InstallProtocolInterface(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS, handle#2",
                          "notify event#2 (SMBIOS slot handler) at TPL_CALLBACK"));
}

TEST_F(DxeCoreModel, GuestInstallationNotifiesBeforeTheCallReturnsAtApplicationLevel) {
  const GuestAddr event = CreateLoggingEvent("smbios arrived");
  RegisterArrival(SmbiosTableProtocolGuid(), event);

  InstallOnNewHandle(SmbiosTableProtocolGuid(), Memory().Allocate(16));

  EXPECT_THAT(log_, ElementsAre("smbios arrived"));
}

TEST_F(DxeCoreModel, LocateProtocolNotFoundWritesNull) {
  EXPECT_EQ(Locate(PortLocatorProtocolGuid()), std::make_pair(std::uint64_t{EFI_NOT_FOUND}, GuestAddr{0}));

  const GuestAddr locator = Memory().Allocate(32);
  dxe_.InstallFromComponent(PortLocatorProtocolGuid(), locator);
  EXPECT_EQ(Locate(PortLocatorProtocolGuid()), std::make_pair(std::uint64_t{EFI_SUCCESS}, locator));
}

TEST_F(DxeCoreModel, DoubleFreeAndForeignFreeAreReportedAsPoolMisuse) {
  const GuestAddr block = AllocatePool(32);
  const GuestAddr foreign = Memory().Allocate(32);

  EXPECT_EQ(Call(Service::BsFreePool, {block}), EFI_SUCCESS);
  EXPECT_THAT(dxe_.PoolErrors(), IsEmpty());
  EXPECT_EQ(Call(Service::BsFreePool, {block}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Call(Service::BsFreePool, {foreign}), EFI_INVALID_PARAMETER);

  EXPECT_THAT(dxe_.PoolErrors(),
              ElementsAre("double FreePool of pool#1", HasSubstr("FreePool of memory not from pool")));
  EXPECT_THAT(trace_.Unexpecteds(), ElementsAre("unexpected double FreePool of pool#1",
                                                HasSubstr("unexpected FreePool of memory not from pool")));
  EXPECT_THAT(dxe_.Leaks(), IsEmpty());
}

TEST_F(DxeCoreModel, PoolNotFreedIsListedAsLeaked) {
  const GuestAddr freed = AllocatePool(32);
  AllocatePool(48);
  dxe_.AllocatePool(20, "SMBIOS record copy");

  EXPECT_EQ(Call(Service::BsFreePool, {freed}), EFI_SUCCESS);

  EXPECT_THAT(dxe_.Leaks(),
              ElementsAre("pool#2 (allocated by the driver, 48 bytes)", "pool#3 (SMBIOS record copy, 20 bytes)"));
}

TEST_F(DxeCoreModel, InstallWithNullHandleCreatesANewHandleEachTime) {
  const GuestAddr interface = Memory().Allocate(16);
  const GuestAddr first = Memory().AllocateFilled(8, 0);
  const GuestAddr second = Memory().AllocateFilled(8, 0);
  const GuestAddr guid = GuidAt(BoardHookProtocolGuid());

  EXPECT_EQ(Call(Service::BsInstallProtocolInterface, {first, guid, EFI_NATIVE_INTERFACE, interface}), EFI_SUCCESS);
  EXPECT_EQ(Call(Service::BsInstallProtocolInterface, {second, guid, EFI_NATIVE_INTERFACE, interface}), EFI_SUCCESS);

  EXPECT_NE(Memory().ReadPointer(first), 0u);
  EXPECT_NE(Memory().ReadPointer(second), 0u);
  EXPECT_NE(Memory().ReadPointer(first), Memory().ReadPointer(second));
  EXPECT_THAT(trace_.Calls(), ElementsAre("BS.InstallProtocolInterface(BOARD_HOOK_PROTOCOL) = EFI_SUCCESS, handle#1",
                                          "BS.InstallProtocolInterface(BOARD_HOOK_PROTOCOL) = EFI_SUCCESS, handle#2"));
  // The same protocol twice on one existing handle is refused.
  EXPECT_EQ(Call(Service::BsInstallProtocolInterface, {first, guid, EFI_NATIVE_INTERFACE, interface}),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(dxe_.Protocols().size(), 2u);
}

}  // namespace
// A real service that answers a warning has done its work; an error means it did not.
TEST(DxeCoreInjection, WarningStillCreatesTheEventButAnErrorCreatesNone) {
  BoardConfig board = ShippedBoard();
  Trace trace;
  FailurePlan failures({{"BS.CreateEvent", 1, EFI_WARN_UNKNOWN_GLYPH}, {"BS.CreateEvent", 2, EFI_OUT_OF_RESOURCES}});
  HardwareModel hardware{board, trace};
  FakeMachine machine{8};
  DxeCore dxe{machine, trace, failures, hardware};
  const GuestAddr notify = machine.Define({});
  const GuestAddr first = machine.Memory().AllocateFilled(8, kUntouched);
  const GuestAddr second = machine.Memory().AllocateFilled(8, kUntouched);
  const std::vector<std::uint64_t> warned = {kNotifySignal, TPL_CALLBACK, notify, 0, first};
  const std::vector<std::uint64_t> failed = {kNotifySignal, TPL_CALLBACK, notify, 0, second};

  EXPECT_EQ(dxe.Call(Service::BsCreateEvent, warned), EFI_WARN_UNKNOWN_GLYPH);
  EXPECT_EQ(dxe.Call(Service::BsCreateEvent, failed), EFI_OUT_OF_RESOURCES);

  EXPECT_NE(machine.Memory().ReadPointer(first), 0xA5A5A5A5A5A5A5A5u);
  EXPECT_EQ(machine.Memory().ReadPointer(second), 0xA5A5A5A5A5A5A5A5u);
  EXPECT_EQ(dxe.Events().size(), 1u);
  EXPECT_THAT(trace.Lines(), ElementsAre("call BS.CreateEvent(0x200, TPL_CALLBACK) = EFI_WARN_UNKNOWN_GLYPH "
                                         "(injected), event#1",
                                         "call BS.CreateEvent(0x200, TPL_CALLBACK) = EFI_OUT_OF_RESOURCES (injected)"));
}

}  // namespace boardsim::testing
