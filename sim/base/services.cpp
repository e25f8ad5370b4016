#include "sim/base/services.h"

#include <array>

namespace boardsim {
namespace {

constexpr std::array<ServiceInfo, static_cast<std::size_t>(Service::Count)> kServices = {{
    {"BS.RaiseTPL", 1, ServiceReturn::Natural},
    {"BS.RestoreTPL", 1, ServiceReturn::Void},
    {"BS.AllocatePool", 3, ServiceReturn::Natural},
    {"BS.FreePool", 1, ServiceReturn::Natural},
    {"BS.CreateEvent", 5, ServiceReturn::Natural},
    {"BS.SignalEvent", 1, ServiceReturn::Natural},
    {"BS.CloseEvent", 1, ServiceReturn::Natural},
    {"BS.InstallProtocolInterface", 4, ServiceReturn::Natural},
    {"BS.RegisterProtocolNotify", 3, ServiceReturn::Natural},
    {"BS.LocateProtocol", 3, ServiceReturn::Natural},
    {"BS.CopyMem", 3, ServiceReturn::Void},
    {"BS.CreateEventEx", 6, ServiceReturn::Natural},
    {"SETUP.SetString", 3, ServiceReturn::Natural},
    {"SMBIOS.DeleteStructure", 1, ServiceReturn::Natural},
    {"SMBIOS.ReadStructure", 4, ServiceReturn::Natural},
    {"PCD.Get32", 1, ServiceReturn::Bits32},
    {"PEI.InstallPpi", 2, ServiceReturn::Natural},
    {"PEI.LocatePpi", 5, ServiceReturn::Natural},
    {"PEI.AllocatePool", 3, ServiceReturn::Natural},
    {"PCD.SetPointer", 3, ServiceReturn::Natural},
}};

}  // namespace

const ServiceInfo &InfoOf(Service service) { return kServices.at(static_cast<std::size_t>(service)); }

std::uint64_t StatusForGuest(std::uint64_t status, unsigned pointerSize) {
  if (pointerSize == 8) return status;
  return ((status >> 32) & 0x80000000u) | (status & 0x7FFFFFFFu);
}

std::uint64_t StatusFromGuest(std::uint64_t status, unsigned pointerSize) {
  if (pointerSize == 8) return status;
  status &= 0xFFFFFFFFu;
  return ((status & 0x80000000u) << 32) | (status & 0x7FFFFFFFu);
}

const char *TableName(ServiceTable table) {
  switch (table) {
    case ServiceTable::BootServices:
      return "BS";
    case ServiceTable::SetupString:
      return "SETUP";
    case ServiceTable::Smbios:
      return "SMBIOS";
    case ServiceTable::DxePcd:
      return "PCD";
    case ServiceTable::PeiServices:
      return "PEI";
    case ServiceTable::PcdPpi:
      return "PCD";
  }
  return "?";
}

}  // namespace boardsim
