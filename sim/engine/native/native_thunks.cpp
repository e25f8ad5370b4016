// Host functions with the exact firmware types of each service: a call from
// a host-built module lands here and goes to the service hub as a service id
// and 64-bit arguments, as calls from the emulator do.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "board/outside_protocols.h"
#include "pi/pcd_ppi.h"
#include "pi/pei_services.h"
#include "sim/engine/native/native_context.h"
#include "uefi/boot_services.h"

namespace boardsim {
namespace {

template <class T>
std::uint64_t Arg(T value) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<std::uintptr_t>(value);
  else
    return static_cast<std::uint64_t>(value);
}

std::uint64_t Dispatch(Service service, std::initializer_list<std::uint64_t> arguments) {
  return ActiveNativeContext().hub->Dispatch(service, std::span(arguments.begin(), arguments.size()));
}

EFI_TPL EFIAPI RaiseTpl(EFI_TPL tpl) { return Dispatch(Service::BsRaiseTpl, {Arg(tpl)}); }
VOID EFIAPI RestoreTpl(EFI_TPL tpl) { Dispatch(Service::BsRestoreTpl, {Arg(tpl)}); }
EFI_STATUS EFIAPI AllocatePool(UINT32 type, UINTN size, VOID **buffer) {
  return Dispatch(Service::BsAllocatePool, {Arg(type), Arg(size), Arg(buffer)});
}
EFI_STATUS EFIAPI FreePool(VOID *buffer) { return Dispatch(Service::BsFreePool, {Arg(buffer)}); }
EFI_STATUS EFIAPI CreateEvent(UINT32 type, EFI_TPL tpl, EFI_EVENT_NOTIFY notify, VOID *context, EFI_EVENT *event) {
  return Dispatch(Service::BsCreateEvent, {Arg(type), Arg(tpl), Arg(notify), Arg(context), Arg(event)});
}
EFI_STATUS EFIAPI SignalEvent(EFI_EVENT event) { return Dispatch(Service::BsSignalEvent, {Arg(event)}); }
EFI_STATUS EFIAPI CloseEvent(EFI_EVENT event) { return Dispatch(Service::BsCloseEvent, {Arg(event)}); }
EFI_STATUS EFIAPI InstallProtocolInterface(EFI_HANDLE *handle, const EFI_GUID *protocol, EFI_INTERFACE_TYPE type,
                                           VOID *interface) {
  return Dispatch(Service::BsInstallProtocolInterface, {Arg(handle), Arg(protocol), Arg(type), Arg(interface)});
}
EFI_STATUS EFIAPI RegisterProtocolNotify(const EFI_GUID *protocol, EFI_EVENT event, VOID **registration) {
  return Dispatch(Service::BsRegisterProtocolNotify, {Arg(protocol), Arg(event), Arg(registration)});
}
EFI_STATUS EFIAPI LocateProtocol(const EFI_GUID *protocol, VOID *registration, VOID **interface) {
  return Dispatch(Service::BsLocateProtocol, {Arg(protocol), Arg(registration), Arg(interface)});
}
VOID EFIAPI CopyMem(VOID *destination, const VOID *source, UINTN length) {
  Dispatch(Service::BsCopyMem, {Arg(destination), Arg(source), Arg(length)});
}
EFI_STATUS EFIAPI CreateEventEx(UINT32 type, EFI_TPL tpl, EFI_EVENT_NOTIFY notify, const VOID *context,
                                const EFI_GUID *group, EFI_EVENT *event) {
  return Dispatch(Service::BsCreateEventEx, {Arg(type), Arg(tpl), Arg(notify), Arg(context), Arg(group), Arg(event)});
}
EFI_STATUS EFIAPI SetString(const CHAR8 *name, UINTN token, const CHAR8 *text) {
  return Dispatch(Service::SetupSetString, {Arg(name), Arg(token), Arg(text)});
}
EFI_STATUS EFIAPI DeleteStructure(UINT16 handle) { return Dispatch(Service::SmbiosDeleteStructure, {Arg(handle)}); }
EFI_STATUS EFIAPI ReadStructure(UINT8 type, UINT8 instance, VOID **buffer, UINT16 *size) {
  return Dispatch(Service::SmbiosReadStructure, {Arg(type), Arg(instance), Arg(buffer), Arg(size)});
}
UINT32 EFIAPI PcdGet32(UINTN token) { return static_cast<UINT32>(Dispatch(Service::DxePcdGet32, {Arg(token)})); }
EFI_STATUS EFIAPI InstallPpi(const EFI_PEI_SERVICES **services, const EFI_PEI_PPI_DESCRIPTOR *list) {
  return Dispatch(Service::PeiInstallPpi, {Arg(services), Arg(list)});
}
EFI_STATUS EFIAPI LocatePpi(const EFI_PEI_SERVICES **services, const EFI_GUID *guid, UINTN instance,
                            EFI_PEI_PPI_DESCRIPTOR **descriptor, VOID **ppi) {
  return Dispatch(Service::PeiLocatePpi, {Arg(services), Arg(guid), Arg(instance), Arg(descriptor), Arg(ppi)});
}
EFI_STATUS EFIAPI PeiAllocatePool(const EFI_PEI_SERVICES **services, UINTN size, VOID **buffer) {
  return Dispatch(Service::PeiAllocatePool, {Arg(services), Arg(size), Arg(buffer)});
}
EFI_STATUS EFIAPI SetPointer(UINTN token, UINTN *size, VOID *buffer) {
  return Dispatch(Service::PcdSetPointer, {Arg(token), Arg(size), Arg(buffer)});
}

// Each entry is typed as the firmware declares it, so the compiler checks the
// thunk against the member it stands for.
template <class F>
GuestAddr Entry(F function) {
  return reinterpret_cast<std::uintptr_t>(function);
}

const std::array<GuestAddr, static_cast<std::size_t>(Service::Count)> kEntries = {
    Entry<EFI_RAISE_TPL>(RaiseTpl),
    Entry<EFI_RESTORE_TPL>(RestoreTpl),
    Entry<EFI_ALLOCATE_POOL>(AllocatePool),
    Entry<EFI_FREE_POOL>(FreePool),
    Entry<EFI_CREATE_EVENT>(CreateEvent),
    Entry<EFI_SIGNAL_EVENT>(SignalEvent),
    Entry<EFI_CLOSE_EVENT>(CloseEvent),
    Entry<EFI_INSTALL_PROTOCOL_INTERFACE>(InstallProtocolInterface),
    Entry<EFI_REGISTER_PROTOCOL_NOTIFY>(RegisterProtocolNotify),
    Entry<EFI_LOCATE_PROTOCOL>(LocateProtocol),
    Entry<EFI_COPY_MEM>(CopyMem),
    Entry<EFI_CREATE_EVENT_EX>(CreateEventEx),
    Entry<SETUP_STRING_SET>(SetString),
    Entry<SMBIOS_DELETE_STRUCTURE>(DeleteStructure),
    Entry<SMBIOS_READ_STRUCTURE>(ReadStructure),
    Entry<PORT_LOCATOR_GET_BRIDGE>(PcdGet32),
    Entry<EFI_PEI_INSTALL_PPI>(InstallPpi),
    Entry<EFI_PEI_LOCATE_PPI>(LocatePpi),
    Entry<EFI_PEI_ALLOCATE_POOL>(PeiAllocatePool),
    Entry<PCD_PPI_SET_POINTER>(SetPointer),
};

// A slot no service fills: the call is reported, and the caller gets
// EFI_UNSUPPORTED in case it goes on.
template <ServiceTable T, unsigned S>
UINTN EFIAPI Unexpected() {
  return ActiveNativeContext().hub->UnexpectedCall(T, S);
}

template <ServiceTable T, unsigned... S>
constexpr std::array<GuestAddr, sizeof...(S)> UnexpectedSlots(std::integer_sequence<unsigned, S...>) {
  return {Entry(&Unexpected<T, S>)...};
}

template <ServiceTable T, unsigned N>
const std::array<GuestAddr, N> kUnexpected = UnexpectedSlots<T>(std::make_integer_sequence<unsigned, N>());

}  // namespace

GuestAddr NativeServiceEntry(Service service) { return kEntries.at(static_cast<std::size_t>(service)); }

GuestAddr NativeUnexpectedEntry(ServiceTable table, unsigned slot) {
  switch (table) {
    case ServiceTable::BootServices:
      return kUnexpected<ServiceTable::BootServices, kBootServicesCount>.at(slot);
    case ServiceTable::SetupString:
      return kUnexpected<ServiceTable::SetupString, 2>.at(slot);
    case ServiceTable::Smbios:
      return kUnexpected<ServiceTable::Smbios, 9>.at(slot);
    case ServiceTable::DxePcd:
      return kUnexpected<ServiceTable::DxePcd, kDxePcdMemberCount>.at(slot);
    case ServiceTable::PeiServices:
      return kUnexpected<ServiceTable::PeiServices, kPeiServicesCount>.at(slot);
    case ServiceTable::PcdPpi:
      return kUnexpected<ServiceTable::PcdPpi, kPcdPpiMemberCount>.at(slot);
  }
  throw std::out_of_range("no such service table");
}

}  // namespace boardsim
