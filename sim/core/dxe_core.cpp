#include "sim/core/dxe_core.h"

#include <algorithm>

#include "sim/base/board_text.h"
#include "sim/base/status_names.h"
#include "sim/core/known_guids.h"
#include "sim/hw/hardware_model.h"
#include "uefi/boot_services.h"
#include "uefi/status.h"

namespace boardsim {
namespace {

// The handler BoardDxe registers for a protocol's arrival, by that protocol.
std::string HandlerFor(const Guid &protocol) {
  if (protocol == SetupStringProtocolGuid()) return "Setup string handler";
  if (protocol == SmbiosTableProtocolGuid()) return "SMBIOS slot handler";
  return {};
}

constexpr std::uint64_t kTplApplication = TPL_APPLICATION;
constexpr std::uint64_t kTplCallback = TPL_CALLBACK;
constexpr std::uint64_t kTplNotify = TPL_NOTIFY;
constexpr std::uint64_t kTplHighLevel = 31;

constexpr std::uint64_t kSystemTableSignature = 0x5453595320494249ull;   // "IBI SYST"
constexpr std::uint64_t kBootServicesSignature = 0x56524553544f4f42ull;  // "BOOTSERV"

// Boot services the model fills, by their slot in the table.
struct BootServiceSlot {
  std::size_t offset;
  Service service;
};
constexpr BootServiceSlot kBootServiceSlots[] = {
    {offsetof(EFI_BOOT_SERVICES, RaiseTPL), Service::BsRaiseTpl},
    {offsetof(EFI_BOOT_SERVICES, RestoreTPL), Service::BsRestoreTpl},
    {offsetof(EFI_BOOT_SERVICES, AllocatePool), Service::BsAllocatePool},
    {offsetof(EFI_BOOT_SERVICES, FreePool), Service::BsFreePool},
    {offsetof(EFI_BOOT_SERVICES, CreateEvent), Service::BsCreateEvent},
    {offsetof(EFI_BOOT_SERVICES, SignalEvent), Service::BsSignalEvent},
    {offsetof(EFI_BOOT_SERVICES, CloseEvent), Service::BsCloseEvent},
    {offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface), Service::BsInstallProtocolInterface},
    {offsetof(EFI_BOOT_SERVICES, RegisterProtocolNotify), Service::BsRegisterProtocolNotify},
    {offsetof(EFI_BOOT_SERVICES, LocateProtocol), Service::BsLocateProtocol},
    {offsetof(EFI_BOOT_SERVICES, CopyMem), Service::BsCopyMem},
    {offsetof(EFI_BOOT_SERVICES, CreateEventEx), Service::BsCreateEventEx},
};

}  // namespace

DxeCore::DxeCore(Machine &machine, Trace &trace, FailurePlan &failures, HardwareModel &hardware)
    : machine_(machine), memory_(machine.Memory()), trace_(trace), failures_(failures), hardware_(hardware) {
  BuildTables();
}

void DxeCore::BuildTables() {
  // The driver is x64: the tables use the layout the firmware headers give.
  const GuestAddr bootServices = memory_.Allocate(sizeof(EFI_BOOT_SERVICES));
  memory_.Write64(bootServices, kBootServicesSignature);
  memory_.Write32(bootServices + 12, sizeof(EFI_BOOT_SERVICES));
  for (unsigned slot = 0; slot < kBootServicesCount; ++slot)
    memory_.WritePointer(bootServices + sizeof(EFI_TABLE_HEADER) + slot * 8,
                         machine_.UnexpectedEntry(ServiceTable::BootServices, slot));
  for (const auto &[offset, service] : kBootServiceSlots)
    memory_.WritePointer(bootServices + offset, machine_.ServiceEntry(service));

  systemTable_ = memory_.Allocate(sizeof(EFI_SYSTEM_TABLE));
  memory_.Write64(systemTable_, kSystemTableSignature);
  memory_.Write32(systemTable_ + 12, sizeof(EFI_SYSTEM_TABLE));
  const GuestAddr runtimeServices = memory_.Allocate(0x88);
  memory_.WritePointer(systemTable_ + offsetof(EFI_SYSTEM_TABLE, RuntimeServices), runtimeServices);
  memory_.WritePointer(systemTable_ + offsetof(EFI_SYSTEM_TABLE, BootServices), bootServices);

  imageHandle_ = memory_.Allocate(16);
  handleIds_[imageHandle_] = 0;
}

std::string DxeCore::TplName(std::uint64_t tpl) const {
  switch (tpl) {
    case kTplApplication:
      return "TPL_APPLICATION";
    case kTplCallback:
      return "TPL_CALLBACK";
    case kTplNotify:
      return "TPL_NOTIFY";
    case kTplHighLevel:
      return "TPL_HIGH_LEVEL";
    default:
      return "TPL " + std::to_string(tpl);
  }
}

std::string DxeCore::EventName(GuestAddr handle) const {
  for (const auto &event : events_)
    if (event.handle == handle) return "event#" + std::to_string(event.id);
  return handle == 0 ? "NULL event" : "unknown event";
}

DxeCore::Event *DxeCore::FindEvent(GuestAddr handle) {
  for (auto &event : events_)
    if (event.handle == handle && !event.closed) return &event;
  return nullptr;
}

std::uint64_t DxeCore::Call(Service service, std::span<const std::uint64_t> a) {
  const char *name = InfoOf(service).name;
  switch (service) {
    case Service::BsRaiseTpl: {
      // TPL changes are bookkeeping, not observable board behaviour: untraced.
      return RaiseTpl(a[0]);
    }
    case Service::BsRestoreTpl:
      RestoreTpl(a[0]);
      return 0;
    case Service::BsCopyMem: {
      const std::size_t call = trace_.Call(std::string(name) + "(" + std::to_string(a[2]) + " bytes from " +
                                           (hardware_.Claims(a[1]) ? Hex(a[1]) : std::string("memory")) + ")");
      if (failures_.OnCall(name)) {
        trace_.Complete(call, "not copied (injected)");
        return 0;
      }
      CopyMem(a[0], a[1], a[2]);
      return 0;
    }
    default:
      break;
  }

  std::string text = name;
  std::optional<Guid> guid;
  switch (service) {
    case Service::BsCreateEvent:
      text += "(" + Hex(a[0]) + ", " + TplName(a[1]) + ")";
      break;
    case Service::BsCreateEventEx:
      guid = a[4] ? std::optional(memory_.ReadGuid(a[4])) : std::nullopt;
      text += "(" + Hex(a[0]) + ", " + TplName(a[1]) + ", " + (guid ? GuidName(*guid) : "no group") + ")";
      break;
    case Service::BsSignalEvent:
    case Service::BsCloseEvent:
      text += "(" + EventName(a[0]) + ")";
      break;
    case Service::BsInstallProtocolInterface:
      guid = memory_.ReadGuid(a[1]);
      text += "(" + GuidName(*guid) + ")";
      break;
    case Service::BsRegisterProtocolNotify:
      guid = memory_.ReadGuid(a[0]);
      text += "(" + GuidName(*guid) + ", " + EventName(a[1]) + ")";
      break;
    case Service::BsLocateProtocol:
      guid = memory_.ReadGuid(a[0]);
      text += "(" + GuidName(*guid) + ")";
      break;
    case Service::BsAllocatePool:
      text += "(" + std::to_string(a[1]) + " bytes)";
      break;
    case Service::BsFreePool: {
      const auto block = pool_.find(a[0]);
      text += "(" + (block != pool_.end() ? "pool#" + std::to_string(block->second.id) : Hex(a[0])) + ")";
      break;
    }
    default:
      break;
  }
  const std::size_t call = trace_.Call(text);
  const InjectedCall injection(failures_, name, text);
  if (const auto error = injection.Error(trace_, call)) {
    return *error;
  }

  std::uint64_t status = EFI_SUCCESS;
  std::string result;  // what the call handed back besides its status
  switch (service) {
    case Service::BsCreateEvent:
    case Service::BsCreateEventEx:
      status = CreateEvent(a, service == Service::BsCreateEvent ? a[4] : a[5], guid);
      if (status == EFI_SUCCESS) result = ", event#" + std::to_string(lastCreated_);
      break;
    case Service::BsSignalEvent:
      status = SignalEvent(a[0]);
      break;
    case Service::BsCloseEvent:
      status = CloseEvent(a[0]);
      break;
    case Service::BsInstallProtocolInterface: {
      unsigned handleId = 0;
      status = a[2] != EFI_NATIVE_INTERFACE ? EFI_INVALID_PARAMETER : InstallProtocol(a[0], *guid, a[3], handleId);
      if (status == EFI_SUCCESS) result = ", handle#" + std::to_string(handleId);
      break;
    }
    case Service::BsRegisterProtocolNotify:
      status = RegisterProtocolNotify(*guid, a[1], a[2]);
      break;
    case Service::BsLocateProtocol:
      status = LocateProtocol(*guid, a[1], a[2]);
      if (status == EFI_SUCCESS && nullInterfaceOf_ == guid) {
        memory_.WritePointer(a[2], 0);
        result = ", NULL interface";
      }
      break;
    case Service::BsAllocatePool:
      status = AllocatePoolCall(a[1], a[2]);
      break;
    case Service::BsFreePool:
      status = FreePool(a[0]);
      break;
    default:
      status = EFI_UNSUPPORTED;
      break;
  }
  status = injection.Finish(status, result);
  trace_.Complete(call, StatusName(status) + result);
  // A service that signalled events returns after the notifications it
  // made due at the caller's level have run.
  DispatchPending();
  return status;
}

std::uint64_t DxeCore::RaiseTpl(std::uint64_t tpl) {
  const std::uint64_t old = tpl_;
  if (tpl < tpl_) trace_.Unexpected("BS.RaiseTPL to " + TplName(tpl) + " below the current " + TplName(tpl_));
  tpl_ = tpl;
  return old;
}

void DxeCore::RestoreTpl(std::uint64_t tpl) {
  if (tpl > tpl_) trace_.Unexpected("BS.RestoreTPL to " + TplName(tpl) + " above the current " + TplName(tpl_));
  tpl_ = tpl;
  DispatchPending();
}

std::uint64_t DxeCore::CreateEvent(std::span<const std::uint64_t> a, GuestAddr eventOut, std::optional<Guid> group) {
  const std::uint32_t type = static_cast<std::uint32_t>(a[0]);
  const std::uint64_t tpl = a[1];
  if (eventOut == 0) return EFI_INVALID_PARAMETER;
  if ((type & EVT_NOTIFY_SIGNAL) != 0 && (a[2] == 0 || (tpl != kTplCallback && tpl != kTplNotify)))
    return EFI_INVALID_PARAMETER;
  Event event;
  event.id = static_cast<unsigned>(events_.size() + 1);
  event.handle = memory_.Allocate(16);
  event.type = type;
  event.tpl = tpl;
  event.notify = a[2];
  event.context = a[3];
  event.group = group;
  memory_.WritePointer(eventOut, event.handle);
  events_.push_back(event);
  lastCreated_ = event.id;
  return EFI_SUCCESS;
}

void DxeCore::Signal(Event &event) {
  if (event.closed || event.pending || (event.type & EVT_NOTIFY_SIGNAL) == 0) return;
  event.pending = true;
  pendingOrder_.push_back(event.id);
}

std::uint64_t DxeCore::SignalEvent(GuestAddr handle) {
  Event *event = FindEvent(handle);
  if (event == nullptr) return EFI_INVALID_PARAMETER;
  if (event->group) {
    const Guid group = *event->group;
    for (auto &member : events_)
      if (member.group == group) Signal(member);
  } else {
    Signal(*event);
  }
  return EFI_SUCCESS;
}

std::uint64_t DxeCore::CloseEvent(GuestAddr handle) {
  Event *event = FindEvent(handle);
  if (event == nullptr) return EFI_INVALID_PARAMETER;
  event->closed = true;
  event->pending = false;
  std::erase(pendingOrder_, event->id);
  std::erase_if(registrations_, [&](const Registration &r) { return r.eventId == event->id; });
  return EFI_SUCCESS;
}

std::uint64_t DxeCore::InstallProtocol(GuestAddr handlePointer, const Guid &protocol, GuestAddr interface,
                                       unsigned &handleId) {
  if (handlePointer == 0) return EFI_INVALID_PARAMETER;
  GuestAddr handle = memory_.ReadPointer(handlePointer);
  if (handle == 0) {
    handle = memory_.Allocate(16);
    handleIds_[handle] = static_cast<unsigned>(handleIds_.size());
    memory_.WritePointer(handlePointer, handle);
  } else if (!handleIds_.contains(handle)) {
    return EFI_INVALID_PARAMETER;
  }
  handleId = handleIds_[handle];
  for (const auto &existing : protocols_)
    if (existing.handle == handleId && existing.protocol == protocol) return EFI_INVALID_PARAMETER;
  protocols_.push_back({handleId, protocol, interface});
  for (auto &registration : registrations_) {
    if (registration.protocol != protocol) continue;
    registration.arrived.push_back(interface);
    for (auto &event : events_)
      if (event.id == registration.eventId) Signal(event);
  }
  return EFI_SUCCESS;
}

std::uint64_t DxeCore::RegisterProtocolNotify(const Guid &protocol, GuestAddr event, GuestAddr registrationOut) {
  Event *target = FindEvent(event);
  if (target == nullptr || registrationOut == 0) return EFI_INVALID_PARAMETER;
  Registration registration;
  registration.protocol = protocol;
  registration.eventId = target->id;
  registration.key = memory_.Allocate(16);
  memory_.WritePointer(registrationOut, registration.key);
  registrations_.push_back(registration);
  return EFI_SUCCESS;
}

std::uint64_t DxeCore::LocateProtocol(const Guid &protocol, GuestAddr registration, GuestAddr interfaceOut) {
  if (interfaceOut == 0) return EFI_INVALID_PARAMETER;
  std::optional<GuestAddr> found;
  if (registration != 0) {
    // With a key: the next interface installed since the registration.
    for (auto &r : registrations_) {
      if (r.key != registration || r.arrived.empty()) continue;
      found = r.arrived.front();
      r.arrived.erase(r.arrived.begin());
    }
  } else {
    found = FindProtocol(protocol);
  }
  memory_.WritePointer(interfaceOut, found.value_or(0));
  return found ? EFI_SUCCESS : EFI_NOT_FOUND;
}

std::uint64_t DxeCore::AllocatePoolCall(std::size_t size, GuestAddr bufferOut) {
  if (bufferOut == 0) return EFI_INVALID_PARAMETER;
  memory_.WritePointer(bufferOut, AllocatePool(size, "allocated by the driver"));
  return EFI_SUCCESS;
}

GuestAddr DxeCore::AllocatePool(std::size_t size, const std::string &owner) {
  const GuestAddr address = memory_.Allocate(size == 0 ? 1 : size);
  pool_[address] = PoolBlock{nextPoolId_++, size, owner, false};
  return address;
}

std::uint64_t DxeCore::FreePool(GuestAddr buffer) {
  const auto block = pool_.find(buffer);
  if (block == pool_.end()) {
    poolErrors_.push_back("FreePool of memory not from pool (" + Hex(buffer) + ")");
    trace_.Unexpected(poolErrors_.back());
    return EFI_INVALID_PARAMETER;
  }
  if (block->second.freed) {
    poolErrors_.push_back("double FreePool of pool#" + std::to_string(block->second.id));
    trace_.Unexpected(poolErrors_.back());
    return EFI_INVALID_PARAMETER;
  }
  // The block stays reserved, so a second free is still recognised.
  block->second.freed = true;
  return EFI_SUCCESS;
}

void DxeCore::CopyMem(GuestAddr destination, GuestAddr source, std::uint64_t length) {
  std::vector<std::uint8_t> bytes(length);
  for (std::uint64_t i = 0; i < length; ++i)
    bytes[i] = hardware_.Claims(source + i) ? static_cast<std::uint8_t>(hardware_.Read(source + i, 8))
                                            : memory_.Read8(source + i);
  for (std::uint64_t i = 0; i < length; ++i) {
    if (hardware_.Claims(destination + i))
      hardware_.Write(destination + i, 8, bytes[i]);
    else
      memory_.Write8(destination + i, bytes[i]);
  }
}

void DxeCore::DispatchPending() {
  // Notify functions run one at a time, highest level first, each at its
  // event's level, and only above the level of the code that signalled;
  // the rest wait until the level drops.
  for (;;) {
    const Event *next = nullptr;
    for (unsigned id : pendingOrder_) {
      const Event &candidate = events_[id - 1];
      if (candidate.tpl > tpl_ && (next == nullptr || candidate.tpl > next->tpl)) next = &candidate;
    }
    if (next == nullptr) return;
    Event &event = events_[next->id - 1];
    std::erase(pendingOrder_, event.id);
    event.pending = false;
    ++event.notifications;
    const std::uint64_t saved = tpl_;
    tpl_ = event.tpl;
    // The driver's handlers by what they wait for, the same in the trace and
    // the report: "event#2 (Setup string handler)".
    std::string handler;
    for (const Registration &registration : registrations_)
      if (registration.eventId == event.id) handler = HandlerFor(registration.protocol);
    if (event.group == ReadyToBootGroupGuid()) handler = "ReadyToBoot handler";
    const std::string name = "event#" + std::to_string(event.id) + (handler.empty() ? "" : " (" + handler + ")");
    trace_.Notify(name + " at " + TplName(event.tpl));
    const std::uint64_t arguments[] = {event.handle, event.context};
    machine_.Call(event.notify, Signature::EventNotify, arguments);
    if (notifyObserver_)
      notifyObserver_(
          handler.empty() ? name + " notify function" : handler + " (event#" + std::to_string(event.id) + ")",
          machine_.LastCallInstructions());
    tpl_ = saved;
  }
}

void DxeCore::InstallFromComponent(const Guid &protocol, GuestAddr interface) {
  const GuestAddr handlePointer = memory_.Allocate(8);
  memory_.WritePointer(handlePointer, 0);
  unsigned handleId = 0;
  const std::uint64_t status = InstallProtocol(handlePointer, protocol, interface, handleId);
  trace_.Event(GuidName(protocol) + " installed by another component" +
               (status == EFI_SUCCESS ? " on handle#" + std::to_string(handleId) : ": " + StatusName(status)));
  memory_.Release(handlePointer);
  DispatchPending();
}

void DxeCore::SignalGroup(const Guid &group) {
  trace_.Event(GuidName(group) + " signalled");
  for (auto &event : events_)
    if (event.group == group) Signal(event);
  DispatchPending();
}

std::optional<GuestAddr> DxeCore::FindProtocol(const Guid &protocol) const {
  for (const auto &entry : protocols_)
    if (entry.protocol == protocol) return entry.interface;
  return std::nullopt;
}

std::vector<DxeCore::EventView> DxeCore::Events() const {
  std::vector<EventView> views;
  for (const auto &event : events_)
    views.push_back({event.id, event.tpl, event.group, event.closed, event.notifications});
  return views;
}

std::vector<std::string> DxeCore::Leaks() const {
  std::vector<std::string> leaks;
  for (const auto &[address, block] : pool_)
    if (!block.freed)
      leaks.push_back("pool#" + std::to_string(block.id) + " (" + block.owner + ", " + std::to_string(block.size) +
                      " bytes)");
  return leaks;
}

}  // namespace boardsim
