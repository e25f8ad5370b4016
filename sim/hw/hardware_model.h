// The board's registers: the PCH sideband window (GPIO communities of both
// PCH series, lane registers), the PCI configuration window (PCH device,
// bridges, endpoints) and the Ethernet controllers' BAR-mapped registers.
// Every access is recorded in the trace with its exact width.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/base/trace.h"
#include "sim/board/address_map.h"
#include "sim/board/board_config.h"
#include "sim/board/pch_gpio_layout.h"
#include "sim/hw/pci_config_space.h"
#include "sim/hw/sideband_registers.h"

namespace boardsim {

class HardwareModel {
 public:
  struct Window {
    std::uint64_t base = 0;
    std::uint64_t size = 0;
    std::string name;
  };
  using LaneWrite = SidebandRegisters::LaneWrite;

  static constexpr std::uint64_t kSidebandBase = address_map::kSidebandBase;
  static constexpr std::uint64_t kSidebandSize = address_map::kSidebandSize;
  static constexpr std::uint64_t kPciConfigBase = address_map::kPciConfigBase;
  static constexpr std::uint64_t kPciConfigSize = address_map::kPciConfigSize;
  static constexpr std::uint64_t kEthernetWindowSize = address_map::kEthernetWindowSize;
  // The receive address register holds the MAC's six bytes.
  static constexpr std::uint32_t kMacOffset = 0x5400;

  // Throws std::invalid_argument if the board's hardware cannot be built
  // (CheckHardware finds problems: clashing PCI functions or windows).
  HardwareModel(const BoardConfig &board, Trace &trace);
  ~HardwareModel();
  HardwareModel(const HardwareModel &) = delete;
  HardwareModel &operator=(const HardwareModel &) = delete;

  // The address ranges the model answers for (page aligned): the sideband
  // window, the PCI configuration window and each controller's BAR window.
  std::vector<Window> Windows() const;
  bool Claims(std::uint64_t address) const;

  // One access of 8, 16, 32 or 64 bits (a 64-bit access stays one access).
  // Each is traced as "R32 0x... = 0x..." / "W8 ...", with what the register
  // is (TraceEntry::what); an access the hardware
  // would not expect is followed by an "unexpected" entry saying why. An
  // access no model claims reads all ones.
  std::uint64_t Read(std::uint64_t address, unsigned width);
  void Write(std::uint64_t address, unsigned width, std::uint64_t value);

  // Inspection for reports, tests and debuggers; not traced.
  // What a read of 8, 16, 32 or 64 bits at the address would answer now.
  std::uint64_t Peek(std::uint64_t address, unsigned width);
  const std::vector<LaneWrite> &LaneWrites() const;
  // The low byte of the Command register of the endpoint at device 0,
  // function 0 of `bus`; 0xFF (all ones, as the bus reads) if there is none.
  std::uint8_t CommandRegister(std::uint8_t bus) const;
  // How many writes reached that Command register.
  unsigned CommandWrites(std::uint8_t bus) const;
  PchSeries Series() const { return sideband_.Series(); }
  // A pad's owning agent (0 = host) and level (DW0 bit 1) as they stand;
  // empty if the pad is not a pad of the fitted PCH series.
  std::optional<unsigned> PadOwner(std::uint32_t pad) const { return sideband_.PadOwner(pad); }
  std::optional<unsigned> PadLevel(std::uint32_t pad) const { return sideband_.PadLevel(pad); }

 private:
  struct EthernetWindow {
    std::uint32_t base = 0;
    std::uint16_t bdf = 0;
    std::array<std::uint8_t, 6> mac{};
  };

  RegisterAnswer Answer(std::uint64_t address, unsigned bytes);
  // What the register is, from the model that claims the address.
  std::string Describe(std::uint64_t address, unsigned bytes);
  std::string Take(std::uint64_t address, unsigned bytes, std::uint64_t value);
  EthernetWindow *EthernetWindowAt(std::uint64_t address);
  std::string CheckMemorySpace(const EthernetWindow &window) const;

  Trace &trace_;
  SidebandRegisters sideband_;
  PciConfigSpace pci_;
  std::vector<EthernetWindow> ethernet_;
};

}  // namespace boardsim
