#include "sim/hw/sideband_registers.h"

#include <algorithm>

#include "sim/base/board_text.h"

namespace boardsim {
namespace {

bool IsGpioPort(unsigned port) { return port >= 0x6A && port <= 0x6E; }
bool IsLanePort(unsigned port) { return port == 0xA8 || port == 0xAA || port == 0xAB; }

unsigned PortOf(std::uint32_t address) { return (address >> 16) & 0xFF; }

// The byte `index` of an access, kept inside the access's port: offsets wrap
// at 16 bits as the port's own offset does.
std::uint32_t ByteAddress(std::uint32_t address, unsigned index) {
  return (address & 0xFFFF0000) | ((address + index) & 0xFFFF);
}

std::string CheckShape(std::uint32_t address, unsigned bytes) {
  if (bytes == 4 && (address & 3) == 0) return {};
  return "sideband registers take aligned 32-bit accesses";
}

}  // namespace

SidebandRegisters::SidebandRegisters(const BoardConfig &board) : series_(SeriesOfDeviceId(board.pchDeviceId)) {
  for (const auto &[pad, state] : board.pads) {
    const auto id = FittedPad(pad);
    if (!id) continue;  // a pad of the other series is not on this PCH
    const PadRegisterAddresses registers = PadRegistersOf(*id);
    registers_[registers.ownership] |= (state.owner & 0xF) << registers.ownershipShift;
    registers_[registers.dw0] = state.dw0;
  }
}

std::uint32_t SidebandRegisters::Register(std::uint32_t address) const {
  const auto found = registers_.find(address & ~3u);
  return found == registers_.end() ? 0 : found->second;
}

RegisterAnswer SidebandRegisters::Read(std::uint32_t address, unsigned bytes) const {
  const unsigned port = PortOf(address);
  if (!IsGpioPort(port) && !IsLanePort(port)) return {WidthMask(bytes * 8), "no sideband port " + Hex(port, 2)};
  RegisterAnswer answer{0, CheckShape(address, bytes)};
  for (unsigned i = 0; i < bytes; ++i) {
    const std::uint32_t byteAddress = ByteAddress(address, i);
    const std::uint64_t byte = (Register(byteAddress) >> ((byteAddress & 3) * 8)) & 0xFF;
    answer.value |= byte << (i * 8);
  }
  return answer;
}

std::string SidebandRegisters::Write(std::uint32_t address, unsigned bytes, std::uint64_t value) {
  const unsigned port = PortOf(address);
  if (!IsGpioPort(port) && !IsLanePort(port)) return "no sideband port " + Hex(port, 2);
  for (unsigned i = 0; i < bytes; ++i) {
    const std::uint32_t byteAddress = ByteAddress(address, i);
    const unsigned shift = (byteAddress & 3) * 8;
    std::uint32_t &stored = registers_[byteAddress & ~3u];
    stored = (stored & ~(0xFFu << shift)) | static_cast<std::uint32_t>((value >> (i * 8)) & 0xFF) << shift;
  }
  if (IsLanePort(port))
    laneWrites_.push_back({static_cast<std::uint8_t>(port), static_cast<std::uint16_t>(address & 0xFFFF),
                           static_cast<std::uint32_t>(value), bytes * 8});
  return CheckShape(address, bytes);
}

std::string SidebandRegisters::Describe(std::uint32_t address) const {
  const unsigned port = PortOf(address);
  const unsigned offset = address & 0xFFFF;
  if (IsLanePort(port)) return "lane register " + Hex(offset, 4) + " of port " + Hex(port, 2);
  if (!IsGpioPort(port)) return "unclaimed: no sideband port " + Hex(port, 2);
  const unsigned dword = offset & ~3u;
  for (const GpioGroupLayout &group : GpioGroups(series_)) {
    if (group.port != port) continue;
    const unsigned ownershipEnd = group.ownershipOffset + (group.padCount + 7u) / 8u * 4u;
    if (dword >= group.ownershipOffset && dword < ownershipEnd) {
      const unsigned first = (dword - group.ownershipOffset) / 4u * 8u;
      const unsigned last = std::min(first + 7u, group.padCount - 1u);
      return std::string(group.name) + " pad ownership, pads " + std::to_string(first) + "-" + std::to_string(last);
    }
    const unsigned padEnd = group.padConfigBase + group.padCount * 16u;
    if (dword >= group.padConfigBase && dword < padEnd) {
      const unsigned pad = (dword - group.padConfigBase) / 16u;
      const unsigned dw = (dword - group.padConfigBase) % 16u / 4u;
      return std::string(group.name) + " pad " + std::to_string(pad) + " DW" + std::to_string(dw);
    }
  }
  return "GPIO community " + Hex(port, 2) + " register " + Hex(offset, 4);
}

std::optional<GpioPadId> SidebandRegisters::FittedPad(std::uint32_t pad) const {
  const auto id = DecodeGpioPad(pad);
  if (!id || id->series != series_) return std::nullopt;
  return id;
}

std::optional<unsigned> SidebandRegisters::PadOwner(std::uint32_t pad) const {
  const auto id = FittedPad(pad);
  if (!id) return std::nullopt;
  const PadRegisterAddresses registers = PadRegistersOf(*id);
  return (Register(registers.ownership) >> registers.ownershipShift) & 3;
}

std::optional<unsigned> SidebandRegisters::PadLevel(std::uint32_t pad) const {
  const auto id = FittedPad(pad);
  if (!id) return std::nullopt;
  return (Register(PadRegistersOf(*id).dw0) & kDw0RxStateBit) != 0 ? 1u : 0u;
}

}  // namespace boardsim
