#include "sim/hw/pci_config_space.h"

#include <span>
#include <string>

#include "sim/base/board_text.h"

namespace boardsim {
namespace {

constexpr std::uint16_t kPchBdf = 31 << 3;  // bus 0, device 31, function 0
constexpr std::uint32_t kIntelVendor = 0x8086;
constexpr std::uint32_t kWindowSize = 0x10000000;

// Register offsets of the configuration header.
constexpr unsigned kCommand = 0x04;
constexpr unsigned kStatus = 0x06;
constexpr unsigned kClassCode = 0x09;
constexpr unsigned kHeaderType = 0x0E;
constexpr unsigned kBar0 = 0x10;
constexpr unsigned kBar0Upper = 0x14;
constexpr unsigned kPrimaryBus = 0x18;
constexpr unsigned kSecondaryBus = 0x19;
constexpr unsigned kSubordinateBus = 0x1A;

constexpr std::uint32_t kBarTypeMask = 0x6;
constexpr std::uint32_t kBarType64 = 0x4;

void Put(std::array<std::uint8_t, 4096> &image, unsigned offset, std::uint64_t value, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) image[offset + i] = static_cast<std::uint8_t>(value >> (i * 8));
}

// Class code bytes 0x09..0x0B: programming interface, subclass, base class.
void PutClass(std::array<std::uint8_t, 4096> &image, std::uint8_t base, std::uint8_t sub) {
  Put(image, kClassCode, std::uint32_t{base} << 16 | std::uint32_t{sub} << 8, 3);
}

struct HeaderRegister {
  unsigned offset;
  unsigned bytes;
  const char *name;
};

// The configuration header's registers, as both header types share them
// up to BAR1, then each type's own.
constexpr HeaderRegister kCommonRegisters[] = {
    {0x00, 2, "vendor id"},
    {0x02, 2, "device id"},
    {0x04, 2, "Command"},
    {0x06, 2, "Status"},
    {0x08, 1, "revision id"},
    {0x09, 3, "class code"},
    {0x0C, 1, "cache line size"},
    {0x0D, 1, "latency timer"},
    {0x0E, 1, "header type"},
    {0x0F, 1, "BIST"},
    {0x10, 4, "BAR0"},
    {0x14, 4, "BAR1"},
};
constexpr HeaderRegister kBridgeRegisters[] = {
    {0x18, 1, "primary bus"}, {0x19, 1, "secondary bus"}, {0x1A, 1, "subordinate bus"}, {0x1B, 1, "secondary latency"}};
constexpr HeaderRegister kDeviceRegisters[] = {
    {0x18, 4, "BAR2"},        {0x1C, 4, "BAR3"}, {0x20, 4, "BAR4"}, {0x24, 4, "BAR5"}, {0x2C, 2, "subsystem vendor id"},
    {0x2E, 2, "subsystem id"}};

std::string RegisterName(unsigned reg, bool bridge) {
  for (const HeaderRegister &r : kCommonRegisters)
    if (reg >= r.offset && reg < r.offset + r.bytes) return r.name;
  for (const HeaderRegister &r :
       bridge ? std::span<const HeaderRegister>(kBridgeRegisters) : std::span<const HeaderRegister>(kDeviceRegisters))
    if (reg >= r.offset && reg < r.offset + r.bytes) return r.name;
  return "register " + Hex(reg, 2);
}

}  // namespace

std::string PciLocation(std::uint16_t bdf) {
  return std::to_string(bdf >> 8) + ":" + std::to_string((bdf >> 3) & 0x1F) + "." + std::to_string(bdf & 7);
}

PciConfigSpace::PciConfigSpace(const BoardConfig &board) {
  Function &pch = functions_[kPchBdf];
  pch.kind = Kind::Pch;
  Put(pch.image, 0, kIntelVendor | std::uint32_t{board.pchDeviceId} << 16, 4);
  PutClass(pch.image, 0x06, 0x01);  // ISA bridge
  pch.image[kHeaderType] = 0x80;    // multi-function device

  for (const PciBridge &bridge : board.bridges) {
    Function &function = functions_[bridge.bdf];
    function.kind = Kind::Bridge;
    Put(function.image, 0, bridge.vendorDevice, 4);
    Put(function.image, kCommand, 0x0006, 2);  // forwards memory, bus master
    PutClass(function.image, 0x06, 0x04);      // PCI-to-PCI bridge
    function.image[kHeaderType] = 0x01;
    function.image[kPrimaryBus] = static_cast<std::uint8_t>(bridge.bdf >> 8);
    function.image[kSecondaryBus] = bridge.secondaryBus;
    function.image[kSubordinateBus] = bridge.subordinateBus;
  }

  for (const PciEndpoint &endpoint : board.endpoints) {
    Function &function = functions_[static_cast<std::uint16_t>(endpoint.bus << 8)];
    function.kind = Kind::Endpoint;
    Put(function.image, 0, endpoint.vendorDevice, 4);
    function.image[kCommand] = endpoint.command;
    PutClass(function.image, 0x02, 0x00);  // Ethernet controller
    Put(function.image, kBar0, endpoint.bar0, 4);
    if ((endpoint.bar0 & kBarTypeMask) == kBarType64) Put(function.image, kBar0Upper, endpoint.bar0Upper, 4);
  }
}

RegisterAnswer PciConfigSpace::Read(std::uint32_t offset, unsigned bytes) const {
  RegisterAnswer answer;
  for (unsigned i = 0; i < bytes; ++i) {
    const std::uint32_t byteOffset = offset + i;
    std::uint64_t byte = 0xFF;
    if (byteOffset < kWindowSize) {
      const auto found = functions_.find(static_cast<std::uint16_t>(byteOffset >> 12));
      if (found != functions_.end()) byte = found->second.image[byteOffset & 0xFFF];
    }
    answer.value |= byte << (i * 8);
  }
  return answer;
}

std::string PciConfigSpace::Write(std::uint32_t offset, unsigned bytes, std::uint64_t value) {
  std::string problem;
  Function *counted = nullptr;
  for (unsigned i = 0; i < bytes; ++i) {
    const std::uint32_t byteOffset = offset + i;
    if (byteOffset >= kWindowSize) continue;
    const auto bdf = static_cast<std::uint16_t>(byteOffset >> 12);
    const auto found = functions_.find(bdf);
    if (found == functions_.end()) continue;  // nothing there to take the write
    Function &function = found->second;
    const unsigned reg = byteOffset & 0xFFF;
    if (function.kind == Kind::Endpoint && (reg == kCommand || reg == kCommand + 1)) {
      function.image[reg] = static_cast<std::uint8_t>(value >> (i * 8));
      if (counted != &function) ++function.commandWrites;
      counted = &function;
    } else if (function.kind == Kind::Endpoint && (reg == kStatus || reg == kStatus + 1)) {
      // Status bits are cleared by writing ones; none is ever set here.
    } else if (problem.empty()) {
      problem = "register " + Hex(reg, 2) + " of " + FormatBdf(bdf) + " is read-only";
    }
  }
  return problem;
}

std::string PciConfigSpace::Describe(std::uint32_t offset, unsigned bytes) const {
  if (offset >= kWindowSize) return "unclaimed: beyond the PCI configuration window";
  const auto bdf = static_cast<std::uint16_t>(offset >> 12);
  const auto found = functions_.find(bdf);
  if (found == functions_.end()) return "no PCI function " + PciLocation(bdf) + " (reads all ones)";
  const Kind kind = found->second.kind;
  const unsigned reg = offset & 0xFFF;
  std::string registers;
  for (unsigned i = 0; i < bytes && reg + i < 0x1000; ++i) {
    const std::string name = RegisterName(reg + i, kind == Kind::Bridge);
    if (registers == name || registers.ends_with(", " + name)) continue;
    registers += (registers.empty() ? "" : ", ") + name;
  }
  switch (kind) {
    case Kind::Pch:
      return "PCH " + registers + " (" + PciLocation(bdf) + " +" + Hex(reg, 2) + ")";
    case Kind::Bridge:
      return "PCI bridge " + PciLocation(bdf) + " " + registers;
    case Kind::Endpoint:
      break;
  }
  return "Ethernet controller " + PciLocation(bdf) + " " + registers;
}

std::optional<std::uint8_t> PciConfigSpace::Command(std::uint16_t bdf) const {
  const auto found = functions_.find(bdf);
  if (found == functions_.end()) return std::nullopt;
  return found->second.image[kCommand];
}

unsigned PciConfigSpace::CommandWrites(std::uint16_t bdf) const {
  const auto found = functions_.find(bdf);
  return found == functions_.end() ? 0 : found->second.commandWrites;
}

}  // namespace boardsim
