#include "sim/hw/hardware_model.h"

#include <algorithm>
#include <stdexcept>

#include "sim/base/board_text.h"
#include "sim/board/board_checks.h"

namespace boardsim {
namespace {

constexpr std::uint8_t kMemorySpaceEnable = 1u << 1;

bool Within(std::uint64_t address, std::uint64_t base, std::uint64_t size) {
  return address >= base && address - base < size;
}

unsigned BytesOf(unsigned width) {
  if (width != 8 && width != 16 && width != 32 && width != 64)
    throw std::invalid_argument("register access of " + std::to_string(width) + " bits: widths are 8, 16, 32, 64");
  return width / 8;
}

std::string AccessText(const char *kind, unsigned width, std::uint64_t address) {
  return kind + std::to_string(width) + " " + Hex(address, 8);
}

}  // namespace

HardwareModel::HardwareModel(const BoardConfig &board, Trace &trace) : trace_(trace), sideband_(board), pci_(board) {
  const auto problems = CheckHardware(board);
  if (!problems.empty()) {
    std::string message = "board \"" + board.name + "\" cannot be built:";
    for (const auto &problem : problems) message += "\n  " + problem.field + ": " + problem.problem;
    throw std::invalid_argument(message);
  }
  for (const PciEndpoint &endpoint : board.endpoints) {
    const std::uint32_t base = endpoint.bar0 & ~0xFu;
    if (base == 0) continue;  // an unassigned BAR decodes nothing
    ethernet_.push_back({base, static_cast<std::uint16_t>(endpoint.bus << 8), endpoint.mac});
  }
  // What a register is depends only on the board's layout, which no access
  // changes: it can be said when the trace is printed.
  trace_.SetRegisterNamer([this](std::uint64_t address, unsigned width) { return Describe(address, width / 8); });
}

// A trace that outlives the model keeps the names.
HardwareModel::~HardwareModel() { trace_.SetRegisterNamer({}); }

std::vector<HardwareModel::Window> HardwareModel::Windows() const {
  std::vector<Window> windows = {{kSidebandBase, kSidebandSize, "sideband"},
                                 {kPciConfigBase, kPciConfigSize, "pci-config"}};
  for (const EthernetWindow &window : ethernet_)
    windows.push_back({window.base, kEthernetWindowSize, "ethernet " + FormatBdf(window.bdf)});
  return windows;
}

bool HardwareModel::Claims(std::uint64_t address) const {
  if (Within(address, kSidebandBase, kSidebandSize) || Within(address, kPciConfigBase, kPciConfigSize)) return true;
  for (const EthernetWindow &window : ethernet_)
    if (Within(address, window.base, kEthernetWindowSize)) return true;
  return false;
}

std::uint64_t HardwareModel::Read(std::uint64_t address, unsigned width) {
  const RegisterAnswer answer = Answer(address, BytesOf(width));
  const std::uint64_t value = answer.value & WidthMask(width);
  trace_.NamedRead(width, address, value);
  if (!answer.problem.empty()) trace_.Unexpected(AccessText("read", width, address) + ": " + answer.problem);
  return value;
}

std::uint64_t HardwareModel::Peek(std::uint64_t address, unsigned width) {
  return Answer(address, BytesOf(width)).value & WidthMask(width);
}

void HardwareModel::Write(std::uint64_t address, unsigned width, std::uint64_t value) {
  value &= WidthMask(width);
  const std::string problem = Take(address, BytesOf(width), value);
  trace_.NamedWrite(width, address, value);
  if (!problem.empty()) trace_.Unexpected(AccessText("write", width, address) + ": " + problem);
}

RegisterAnswer HardwareModel::Answer(std::uint64_t address, unsigned bytes) {
  if (Within(address, kSidebandBase, kSidebandSize)) return sideband_.Read(static_cast<std::uint32_t>(address), bytes);
  if (Within(address, kPciConfigBase, kPciConfigSize))
    return pci_.Read(static_cast<std::uint32_t>(address - kPciConfigBase), bytes);
  if (const EthernetWindow *window = EthernetWindowAt(address)) {
    RegisterAnswer answer{0, CheckMemorySpace(*window)};
    for (unsigned i = 0; i < bytes; ++i) {
      const std::uint64_t offset = address - window->base + i;
      if (offset >= kMacOffset && offset < kMacOffset + window->mac.size())
        answer.value |= std::uint64_t{window->mac[offset - kMacOffset]} << (i * 8);
    }
    return answer;
  }
  return {~std::uint64_t{0}, "no device"};
}

std::string HardwareModel::Describe(std::uint64_t address, unsigned bytes) {
  if (Within(address, kSidebandBase, kSidebandSize)) return sideband_.Describe(static_cast<std::uint32_t>(address));
  if (Within(address, kPciConfigBase, kPciConfigSize))
    return pci_.Describe(static_cast<std::uint32_t>(address - kPciConfigBase), bytes);
  if (const EthernetWindow *window = EthernetWindowAt(address)) {
    const std::uint64_t offset = address - window->base;
    const std::string controller = "Ethernet controller " + PciLocation(window->bdf) + " ";
    if (offset >= kMacOffset && offset < kMacOffset + window->mac.size()) {
      const std::uint64_t first = offset - kMacOffset;
      const std::uint64_t last = std::min<std::uint64_t>(first + bytes, window->mac.size()) - 1;
      return controller + "receive address, byte" +
             (first == last ? " " + std::to_string(first) : "s " + std::to_string(first) + "-" + std::to_string(last));
    }
    return controller + "register " + Hex(offset, 4) + " (not modelled)";
  }
  return "unclaimed: no device";
}

std::string HardwareModel::Take(std::uint64_t address, unsigned bytes, std::uint64_t value) {
  if (Within(address, kSidebandBase, kSidebandSize))
    return sideband_.Write(static_cast<std::uint32_t>(address), bytes, value);
  if (Within(address, kPciConfigBase, kPciConfigSize))
    return pci_.Write(static_cast<std::uint32_t>(address - kPciConfigBase), bytes, value);
  if (EthernetWindow *window = EthernetWindowAt(address)) {
    std::string problem = CheckMemorySpace(*window);
    for (unsigned i = 0; i < bytes; ++i) {
      const std::uint64_t offset = address - window->base + i;
      if (offset >= kMacOffset && offset < kMacOffset + window->mac.size()) {
        window->mac[offset - kMacOffset] = static_cast<std::uint8_t>(value >> (i * 8));
      } else if (problem.empty()) {
        problem = "register " + Hex(offset, 4) + " of the Ethernet controller " + FormatBdf(window->bdf) +
                  " is not modelled (only its receive address is)";
      }
    }
    return problem;
  }
  return "no device";
}

HardwareModel::EthernetWindow *HardwareModel::EthernetWindowAt(std::uint64_t address) {
  for (EthernetWindow &window : ethernet_)
    if (Within(address, window.base, kEthernetWindowSize)) return &window;
  return nullptr;
}

// The controller answers memory reads even so, to let the trace show what a
// driver that forgot to enable memory space would have read.
std::string HardwareModel::CheckMemorySpace(const EthernetWindow &window) const {
  const std::uint8_t command = pci_.Command(window.bdf).value_or(0);
  if ((command & kMemorySpaceEnable) != 0) return {};
  return "memory space of " + FormatBdf(window.bdf) + " is disabled (Command " + Hex(command, 2) + ")";
}

const std::vector<HardwareModel::LaneWrite> &HardwareModel::LaneWrites() const { return sideband_.LaneWrites(); }

std::uint8_t HardwareModel::CommandRegister(std::uint8_t bus) const {
  return pci_.Command(static_cast<std::uint16_t>(bus << 8)).value_or(0xFF);
}

unsigned HardwareModel::CommandWrites(std::uint8_t bus) const {
  return pci_.CommandWrites(static_cast<std::uint16_t>(bus << 8));
}

}  // namespace boardsim
