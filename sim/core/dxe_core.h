// A model of the DXE core as BoardDxe meets it: the system and boot-services
// tables, the protocol database, events and event groups, protocol-arrival
// notification, task priority levels with notify functions dispatched one
// at a time, and pool with ownership checks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/base/guest_memory.h"
#include "sim/base/machine.h"
#include "sim/base/trace.h"
#include "sim/core/failure_plan.h"

namespace boardsim {

class HardwareModel;

class DxeCore {
 public:
  struct EventView {
    unsigned id = 0;
    std::uint64_t tpl = 0;
    std::optional<Guid> group;
    bool closed = false;
    unsigned notifications = 0;
  };
  struct ProtocolView {
    unsigned handle = 0;  // handle#N
    Guid protocol;
    GuestAddr interface = 0;
  };

  DxeCore(Machine &machine, Trace &trace, FailurePlan &failures, HardwareModel &hardware);

  GuestAddr SystemTable() const { return systemTable_; }
  GuestAddr ImageHandle() const { return imageHandle_; }

  // A boot service called by guest code.
  std::uint64_t Call(Service service, std::span<const std::uint64_t> arguments);

  // Another firmware component installs a protocol on a new handle, at
  // TPL_APPLICATION: the notifications it triggers run before this returns.
  void InstallFromComponent(const Guid &protocol, GuestAddr interface);
  // The platform signals an event group (ReadyToBoot).
  void SignalGroup(const Guid &group);
  // Told when a notify function returns: its event ("event#3") and the
  // instructions it ran, where the engine counts them.
  using NotifyObserver = std::function<void(const std::string &event, std::uint64_t instructions)>;
  void ObserveNotifications(NotifyObserver observer) { notifyObserver_ = std::move(observer); }
  // A faulty core: from now on, a LocateProtocol that finds `protocol`
  // reports success but hands back a NULL interface. nullopt ends it.
  void HandBackNullInterface(std::optional<Guid> protocol) { nullInterfaceOf_ = protocol; }

  std::optional<GuestAddr> FindProtocol(const Guid &protocol) const;
  const std::vector<ProtocolView> &Protocols() const { return protocols_; }
  std::vector<EventView> Events() const;

  // Pool handed to guest code by a service (a copy the caller frees).
  GuestAddr AllocatePool(std::size_t size, const std::string &owner);
  // Pool blocks still allocated: "pool#2 (SMBIOS record copy, 32 bytes)".
  std::vector<std::string> Leaks() const;
  // Pool misuse seen (double frees, frees of memory not from pool).
  const std::vector<std::string> &PoolErrors() const { return poolErrors_; }

 private:
  struct Event {
    unsigned id = 0;
    GuestAddr handle = 0;
    std::uint32_t type = 0;
    std::uint64_t tpl = 0;
    GuestAddr notify = 0;
    GuestAddr context = 0;
    std::optional<Guid> group;
    bool pending = false;
    bool closed = false;
    unsigned notifications = 0;
  };
  struct Registration {
    Guid protocol;
    unsigned eventId = 0;
    GuestAddr key = 0;
    std::vector<GuestAddr> arrived;  // interfaces installed since, not yet located by key
  };
  struct PoolBlock {
    unsigned id = 0;
    std::size_t size = 0;
    std::string owner;
    bool freed = false;
  };

  void BuildTables();
  std::string EventName(GuestAddr handle) const;
  Event *FindEvent(GuestAddr handle);
  std::string TplName(std::uint64_t tpl) const;

  std::uint64_t RaiseTpl(std::uint64_t tpl);
  void RestoreTpl(std::uint64_t tpl);
  std::uint64_t CreateEvent(std::span<const std::uint64_t> a, GuestAddr eventOut, std::optional<Guid> group);
  std::uint64_t SignalEvent(GuestAddr handle);
  std::uint64_t CloseEvent(GuestAddr handle);
  std::uint64_t InstallProtocol(GuestAddr handlePointer, const Guid &protocol, GuestAddr interface, unsigned &handleId);
  std::uint64_t RegisterProtocolNotify(const Guid &protocol, GuestAddr event, GuestAddr registrationOut);
  std::uint64_t LocateProtocol(const Guid &protocol, GuestAddr registration, GuestAddr interfaceOut);
  std::uint64_t AllocatePoolCall(std::size_t size, GuestAddr bufferOut);
  std::uint64_t FreePool(GuestAddr buffer);
  void CopyMem(GuestAddr destination, GuestAddr source, std::uint64_t length);

  void Signal(Event &event);
  void DispatchPending();

  Machine &machine_;
  GuestMemory &memory_;
  Trace &trace_;
  FailurePlan &failures_;
  HardwareModel &hardware_;

  GuestAddr systemTable_ = 0;
  GuestAddr imageHandle_ = 0;
  std::uint64_t tpl_ = 4;  // TPL_APPLICATION
  unsigned lastCreated_ = 0;

  std::vector<Event> events_;
  std::vector<unsigned> pendingOrder_;  // event ids in signal order
  std::map<GuestAddr, unsigned> handleIds_;
  std::vector<ProtocolView> protocols_;
  std::vector<Registration> registrations_;
  std::map<GuestAddr, PoolBlock> pool_;
  std::vector<std::string> poolErrors_;
  unsigned nextPoolId_ = 1;
  NotifyObserver notifyObserver_;
  std::optional<Guid> nullInterfaceOf_;
};

}  // namespace boardsim
