#include "sim/core/outside_services.h"

#include "sim/base/board_text.h"
#include "sim/base/status_names.h"
#include "sim/core/dxe_core.h"
#include "sim/core/service_table.h"
#include "uefi/status.h"

namespace boardsim {
namespace {

constexpr std::uint8_t kSystemSlotsType = 9;
constexpr unsigned kSetupStringSlots = 2;
constexpr unsigned kSmbiosSlots = 9;

}  // namespace

OutsideServices::OutsideServices(const BoardConfig &board, Machine &machine, DxeCore &dxe, Trace &trace,
                                 FailurePlan &failures)
    : machine_(machine),
      memory_(machine.Memory()),
      dxe_(dxe),
      trace_(trace),
      failures_(failures),
      slots_(board.smbiosSlots) {}

GuestAddr OutsideServices::SetupStringInterface() {
  static constexpr std::pair<unsigned, Service> kFilled[] = {{1, Service::SetupSetString}};
  if (!setupInterface_)
    setupInterface_ = BuildServiceTable(machine_, ServiceTable::SetupString, kSetupStringSlots, kFilled);
  return *setupInterface_;
}

GuestAddr OutsideServices::SmbiosInterface() {
  static constexpr std::pair<unsigned, Service> kFilled[] = {{6, Service::SmbiosDeleteStructure},
                                                             {8, Service::SmbiosReadStructure}};
  if (!smbiosInterface_) smbiosInterface_ = BuildServiceTable(machine_, ServiceTable::Smbios, kSmbiosSlots, kFilled);
  return *smbiosInterface_;
}

std::uint64_t OutsideServices::Call(Service service, std::span<const std::uint64_t> a) {
  const char *name = InfoOf(service).name;
  std::string text = name;
  switch (service) {
    case Service::SetupSetString:
      text += "(\"" + memory_.ReadCString(a[0]) + "\", " + Hex(a[1], 4) + ", \"" + memory_.ReadCString(a[2]) + "\")";
      break;
    case Service::SmbiosReadStructure:
      text += "(type " + std::to_string(a[0] & 0xFF) + ", instance " + std::to_string(a[1] & 0xFF) + ")";
      break;
    case Service::SmbiosDeleteStructure:
      text += "(handle " + Hex(a[0] & 0xFFFF, 4) + ")";
      break;
    default:
      break;
  }
  const std::size_t call = trace_.Call(text);
  const InjectedCall injection(failures_, name, text);
  if (const auto error = injection.Error(trace_, call)) {
    return *error;
  }
  std::uint64_t status = EFI_UNSUPPORTED;
  switch (service) {
    case Service::SetupSetString:
      status = SetString(a[0], a[1], a[2]);
      break;
    case Service::SmbiosReadStructure:
      status = ReadStructure(static_cast<std::uint8_t>(a[0]), static_cast<std::uint8_t>(a[1]), a[2], a[3]);
      break;
    case Service::SmbiosDeleteStructure:
      status = DeleteStructure(static_cast<std::uint16_t>(a[0]));
      break;
    default:
      break;
  }
  std::string result;
  status = injection.Finish(status, result);
  trace_.Complete(call, StatusName(status) + result);
  return status;
}

std::uint64_t OutsideServices::SetString(GuestAddr name, std::uint64_t token, GuestAddr text) {
  setupWrites_.push_back({memory_.ReadCString(name), token, memory_.ReadCString(text)});
  return EFI_SUCCESS;
}

std::vector<std::uint8_t> OutsideServices::SlotRecordBytes(const SmbiosSlotRecord &record) const {
  // A System Slots structure: formatted area (17 bytes, slot designation as
  // string 1), then the string set ending in a double NUL.
  std::vector<std::uint8_t> bytes = {kSystemSlotsType,
                                     0x11,
                                     static_cast<std::uint8_t>(record.handle & 0xFF),
                                     static_cast<std::uint8_t>(record.handle >> 8),
                                     1,     // slot designation: string 1
                                     0xB6,  // slot type: PCI Express Gen 3 x16
                                     0x0D,  // data bus width: x16
                                     0x03,  // current usage: available
                                     0x04,  // slot length: long
                                     record.instance,
                                     0x00,
                                     0x04,  // 3.3 V
                                     0x01,  // PME signal
                                     0x00,
                                     0x00,
                                     0x00,
                                     0x00};
  for (char c : record.designation) bytes.push_back(static_cast<std::uint8_t>(c));
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::uint64_t OutsideServices::ReadStructure(std::uint8_t type, std::uint8_t instance, GuestAddr bufferOut,
                                             GuestAddr sizeOut) {
  if (bufferOut == 0 || sizeOut == 0 || instance == 0) return EFI_INVALID_PARAMETER;
  // Instances count the remaining records of the type, from 1: deleting a
  // record renumbers those after it.
  if (type != kSystemSlotsType || instance > slots_.size()) return EFI_NOT_FOUND;
  auto bytes = SlotRecordBytes(slots_[instance - 1]);
  if (smbiosQuirk_ == SmbiosReadQuirk::NullBuffer) {
    memory_.WritePointer(bufferOut, 0);
    memory_.Write16(sizeOut, 0);
    return EFI_SUCCESS;
  }
  if (smbiosQuirk_ == SmbiosReadQuirk::ShortRecord) bytes.resize(2);
  if (smbiosQuirk_ == SmbiosReadQuirk::HeaderOnly) bytes.resize(4);
  if (smbiosQuirk_ == SmbiosReadQuirk::Garbage) bytes = smbiosGarbage_;
  const GuestAddr copy = dxe_.AllocatePool(bytes.size(), "SMBIOS record copy");
  memory_.Write(copy, bytes.data(), bytes.size());
  memory_.WritePointer(bufferOut, copy);
  memory_.Write16(sizeOut, static_cast<std::uint16_t>(bytes.size()));
  return EFI_SUCCESS;
}

std::uint64_t OutsideServices::DeleteStructure(std::uint16_t handle) {
  for (auto it = slots_.begin(); it != slots_.end(); ++it) {
    if (it->handle != handle) continue;
    deleted_.push_back(*it);
    slots_.erase(it);
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

}  // namespace boardsim
