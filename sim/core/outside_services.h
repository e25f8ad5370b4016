// The board-firmware services other components provide to BoardDxe: the
// Setup string service and the SMBIOS service holding the System Slots
// records (the port locator is the DXE core's PCD service, sim/core/dxe_pcd.h). Each behaves as the driver expects and
// can be told to fail.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/base/machine.h"
#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/core/failure_plan.h"

namespace boardsim {

class DxeCore;

// Ways a faulty SMBIOS service can answer a successful read.
enum class SmbiosReadQuirk : std::uint8_t {
  None,
  NullBuffer,   // success, but no buffer handed back
  ShortRecord,  // success, with a 2-byte record (shorter than its header)
  HeaderOnly,   // success, with a 4-byte record: its header and nothing else
  Garbage,      // success, with the bytes given to SetSmbiosGarbage as the record
};

struct SetupStringWrite {
  std::string name;
  std::uint64_t token = 0;
  std::string text;
};

class OutsideServices {
 public:
  OutsideServices(const BoardConfig &board, Machine &machine, DxeCore &dxe, Trace &trace, FailurePlan &failures);

  // The interface tables, built in guest memory on first use.
  GuestAddr SetupStringInterface();
  GuestAddr SmbiosInterface();

  std::uint64_t Call(Service service, std::span<const std::uint64_t> arguments);
  void SetSmbiosReadQuirk(SmbiosReadQuirk quirk) { smbiosQuirk_ = quirk; }
  void SetSmbiosGarbage(std::vector<std::uint8_t> record) {
    smbiosQuirk_ = SmbiosReadQuirk::Garbage;
    smbiosGarbage_ = std::move(record);
  }

  const std::vector<SetupStringWrite> &SetupWrites() const { return setupWrites_; }
  // Records deleted, in order, and those left.
  const std::vector<SmbiosSlotRecord> &DeletedSlots() const { return deleted_; }
  const std::vector<SmbiosSlotRecord> &RemainingSlots() const { return slots_; }

 private:
  std::uint64_t SetString(GuestAddr name, std::uint64_t token, GuestAddr text);
  std::uint64_t ReadStructure(std::uint8_t type, std::uint8_t instance, GuestAddr bufferOut, GuestAddr sizeOut);
  std::uint64_t DeleteStructure(std::uint16_t handle);
  std::vector<std::uint8_t> SlotRecordBytes(const SmbiosSlotRecord &record) const;

  Machine &machine_;
  GuestMemory &memory_;
  DxeCore &dxe_;
  Trace &trace_;
  FailurePlan &failures_;

  std::optional<GuestAddr> setupInterface_;
  std::optional<GuestAddr> smbiosInterface_;
  std::vector<SetupStringWrite> setupWrites_;
  std::vector<SmbiosSlotRecord> slots_;
  std::vector<SmbiosSlotRecord> deleted_;
  SmbiosReadQuirk smbiosQuirk_ = SmbiosReadQuirk::None;
  std::vector<std::uint8_t> smbiosGarbage_;
};

}  // namespace boardsim
