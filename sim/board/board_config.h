// Everything about one simulated board: the hardware it carries, which
// firmware services exist, and the faults to inject into them. The shipped
// board is the default; named variants and board files describe others.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace boardsim {

// One GPIO pad of the PCH: which agent owns it (0 = host) and its DW0
// configuration register (bit 1 is the pad's RX state). `owner` is the pad's
// whole 4-bit ownership field; the owning agent is its low 2 bits, so values
// 4..15 let a board test that the upper bits are ignored.
struct PadState {
  std::uint32_t owner = 0;
  std::uint32_t dw0 = 0;

  friend bool operator==(const PadState &, const PadState &) = default;
};

// A PCI-to-PCI bridge; only its subordinate bus number is read.
struct PciBridge {
  std::uint16_t bdf = 0;  // bus 15..8, device 7..3, function 2..0
  std::uint8_t secondaryBus = 0;
  std::uint8_t subordinateBus = 0;
  std::uint32_t vendorDevice = 0xA3408086;  // configuration dword 0

  friend bool operator==(const PciBridge &, const PciBridge &) = default;
};

// A PCI function at device 0, function 0 of a bus: an Ethernet controller
// or any other device.
struct PciEndpoint {
  std::uint8_t bus = 0;
  std::uint32_t vendorDevice = 0x15338086;
  std::uint8_t command = 0x06;
  std::uint32_t bar0 = 0;             // as read from configuration offset 0x10, type bits included
  std::array<std::uint8_t, 6> mac{};  // bytes at BAR + 0x5400
  // Offset 0x14 of a 64-bit BAR (type bits 2..1 = 10b). The registers are
  // decoded at the low dword, the address a 32-bit register access reaches.
  std::uint32_t bar0Upper = 0;

  friend bool operator==(const PciEndpoint &, const PciEndpoint &) = default;
};

// A token of the DXE PCD database: its size in bytes (1, 2, 4 or 8) and its
// value. The port locator is the platform's DXE PCD service, so the bridges
// the LAN query follows are 4-byte tokens holding a bus/device/function.
struct PcdToken {
  std::uint8_t size = 4;
  std::uint64_t value = 0;

  friend bool operator==(const PcdToken &, const PcdToken &) = default;
};

// A System Slots (type 9) record the SMBIOS service holds.
struct SmbiosSlotRecord {
  std::uint8_t instance = 0;
  std::uint16_t handle = 0;
  std::string designation;

  friend bool operator==(const SmbiosSlotRecord &, const SmbiosSlotRecord &) = default;
};

// An argument a failure picks its call by, as the trace writes it: key
// "instance" and value "3" pick SMBIOS.ReadStructure(type 9, instance 3).
// Numbers match whatever base either side writes them in.
struct CallArgument {
  std::string key;
  std::string value;

  friend bool operator==(const CallArgument &, const CallArgument &) = default;
};

// A status to return from the Nth call (1-based) of a service, instead of
// doing its work. Service names are those the trace uses, e.g.
// "BS.CreateEvent", "SMBIOS.ReadStructure", "PEI.AllocatePool". With
// arguments, only calls having all of them count, and nth is the Nth of those.
struct InjectedFailure {
  InjectedFailure() = default;
  InjectedFailure(std::string service, unsigned nth, std::uint64_t status, std::vector<CallArgument> arguments = {})
      : service(std::move(service)), nth(nth), status(status), arguments(std::move(arguments)) {}

  std::string service;
  unsigned nth = 1;
  std::uint64_t status = 0;
  std::vector<CallArgument> arguments;

  friend bool operator==(const InjectedFailure &, const InjectedFailure &) = default;
};

struct BoardConfig {
  std::string name = "shipped";
  std::string description;

  std::uint16_t pchDeviceId = 0xA305;      // H series
  std::map<std::uint32_t, PadState> pads;  // key: GpioPad value, e.g. 0x030A0000
  std::vector<PciBridge> bridges;
  std::vector<PciEndpoint> endpoints;
  std::map<std::uint32_t, PcdToken> pcdTokens;  // the DXE PCD database, by token number

  std::vector<SmbiosSlotRecord> smbiosSlots;

  bool setupStringService = true;
  bool smbiosService = true;
  bool portLocator = true;
  bool pcdPpi = true;
  // The sizes of PCD_PPI's pointer tokens, by token number: the board-name
  // token holds 24 bytes here (OVMF's holds 8). Other tokens take up to a page.
  std::map<std::uint32_t, std::uint32_t> peiPcdSizes = {{5, 24}};

  std::vector<InjectedFailure> failures;

  friend bool operator==(const BoardConfig &, const BoardConfig &) = default;
};

// The shipped board: H-series PCH, x16 riser fitted, four onboard Ethernet
// controllers, three slot records.
BoardConfig ShippedBoard();

// Named variants: "shipped", "x8", "no-riser", "lp-pch", "unknown-pch",
// "foreign-owner", and those the LAN query needs. Empty if the name is unknown.
std::optional<BoardConfig> NamedBoard(const std::string &name);
std::vector<std::string> NamedBoards();

// Reads a board file (JSON). Throws BoardFileError naming the field and the
// problem.
BoardConfig LoadBoardFile(const std::string &path);
BoardConfig ParseBoardJson(const std::string &text, const std::string &origin);

}  // namespace boardsim
