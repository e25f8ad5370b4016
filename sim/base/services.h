// The firmware services guest code can call, as one list both engines use:
// a call from guest code arrives as a service id and its arguments as
// 64-bit values, whatever the engine.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace boardsim {

enum class Service : std::uint8_t {
  BsRaiseTpl,
  BsRestoreTpl,
  BsAllocatePool,
  BsFreePool,
  BsCreateEvent,
  BsSignalEvent,
  BsCloseEvent,
  BsInstallProtocolInterface,
  BsRegisterProtocolNotify,
  BsLocateProtocol,
  BsCopyMem,
  BsCreateEventEx,
  SetupSetString,
  SmbiosDeleteStructure,
  SmbiosReadStructure,
  DxePcdGet32,  // the port locator's member 3
  PeiInstallPpi,
  PeiLocatePpi,
  PeiAllocatePool,
  PcdSetPointer,
  Count
};

// PCD_PROTOCOL, the DXE-phase PCD service that the driver knows as its port
// locator: 31 members (as PCD_PPI), member 3 is Get32.
inline constexpr unsigned kDxePcdMemberCount = 31;
inline constexpr unsigned kDxePcdGet32Slot = 3;

// The tables guest code finds services in; a slot of a table that no
// service fills leads to an unexpected-call report.
enum class ServiceTable : std::uint8_t { BootServices, SetupString, Smbios, DxePcd, PeiServices, PcdPpi };

// What a service hands back in the accumulator: an EFI_STATUS or TPL (UINTN),
// nothing, or a 32-bit value.
enum class ServiceReturn : std::uint8_t { Natural, Void, Bits32 };

struct ServiceInfo {
  const char *name;  // as the trace and failure injection name it, e.g. "BS.CreateEvent"
  unsigned arguments;
  ServiceReturn returns;
};

const ServiceInfo &InfoOf(Service service);
const char *TableName(ServiceTable table);

// EFI_STATUS is UINTN: on a 32-bit guest its error bit is bit 31. The models
// speak 64-bit statuses; these convert at the guest boundary.
std::uint64_t StatusForGuest(std::uint64_t status, unsigned pointerSize);
std::uint64_t StatusFromGuest(std::uint64_t status, unsigned pointerSize);

// The receiver of every call guest code makes into the simulated firmware.
class ServiceHub {
 public:
  virtual ~ServiceHub() = default;
  virtual std::uint64_t Dispatch(Service service, std::span<const std::uint64_t> arguments) = 0;
  // A call through a table slot that holds no service of ours.
  virtual std::uint64_t UnexpectedCall(ServiceTable table, unsigned slot) = 0;
};

}  // namespace boardsim
