// The shipped board and its named variants: the other risers, the other PCH
// series, and the faults the riser and LAN code must survive.
#include <array>

#include "sim/board/board_config.h"
#include "sim/board/pch_gpio_layout.h"

namespace boardsim {
namespace {

// GPP_K pads 0..3 of the H series carry the riser identification code.
constexpr std::uint32_t kRiserPad0 = 0x030A0000;

// The onboard Ethernet controllers sit behind four root-port bridges, one
// per port identifier the port locator knows.
struct OnboardLan {
  std::uint32_t port;
  std::uint16_t bridgeBdf;
  std::uint8_t bus;
  std::uint32_t bar0;
  std::array<std::uint8_t, 6> mac;
};

constexpr std::array<OnboardLan, 4> kOnboardLan = {{
    {0x008, 0x00E0, 0x02, 0xD0000000, {0x02, 0x4B, 0x52, 0x56, 0x37, 0x01}},  // 00:1C.0
    {0x18C, 0x00E4, 0x03, 0xD0100000, {0x02, 0x4B, 0x52, 0x56, 0x37, 0x02}},  // 00:1C.4
    {0x18D, 0x00E5, 0x04, 0xD0200000, {0x02, 0x4B, 0x52, 0x56, 0x37, 0x03}},  // 00:1C.5
    {0x18E, 0x00E6, 0x05, 0xD0300000, {0x02, 0x4B, 0x52, 0x56, 0x37, 0x04}},  // 00:1C.6
}};

void SetRiserLevels(BoardConfig &board, std::array<unsigned, 4> levels) {
  for (std::uint32_t i = 0; i < levels.size(); ++i) board.pads[kRiserPad0 + i] = {0, InputPadDw0(levels[i])};
}

PciEndpoint *EndpointBehindPort(BoardConfig &board, std::uint32_t port) {
  for (const OnboardLan &lan : kOnboardLan)
    if (lan.port == port)
      for (PciEndpoint &endpoint : board.endpoints)
        if (endpoint.bus == lan.bus) return &endpoint;
  return nullptr;
}

void RemoveEndpointBehindPort(BoardConfig &board, std::uint32_t port) {
  const PciEndpoint *gone = EndpointBehindPort(board, port);
  std::erase_if(board.endpoints, [gone](const PciEndpoint &endpoint) { return &endpoint == gone; });
}

struct Variant {
  const char *name;
  const char *description;
  void (*change)(BoardConfig &board);  // applied to the shipped board
};

constexpr std::array<Variant, 16> kVariants = {{
    {"shipped", "H-series PCH, x16 riser fitted (code 0x0E), four onboard Ethernet controllers, all services present",
     [](BoardConfig &) {}},
    {"x8", "x8 riser fitted: GPP_K pads 0..3 read 0,0,1,1 (code 0x0C)",
     [](BoardConfig &board) {
       SetRiserLevels(board, {0, 0, 1, 1});
     }},
    {"no-riser", "no riser fitted: GPP_K pads 0..3 read 1,1,1,1 (code 0x0F)",
     [](BoardConfig &board) {
       SetRiserLevels(board, {1, 1, 1, 1});
     }},
    {"lp-pch", "LP-series PCH (device id 0x9D84): the H-series riser pads do not exist on it",
     [](BoardConfig &board) {
       board.pchDeviceId = 0x9D84;
       board.pads.clear();
     }},
    {"unknown-pch", "unrecognised PCH (device id 0x1234); its pads have the H-series layout",
     [](BoardConfig &board) { board.pchDeviceId = 0x1234; }},
    {"foreign-owner",
     "GPP_K pad 0 reads 1, pad 1 is owned by another agent (owner 1, its DW0 reads level 0), pads 2 and 3 read 1",
     [](BoardConfig &board) {
       SetRiserLevels(board, {1, 0, 1, 1});
       board.pads[kRiserPad0 + 1].owner = 1;
     }},
    {"pad2-owned",
     "GPP_K pads 0, 1 and 3 read 0, 1 and 1; pad 2 is owned by another agent (its DW0 reads level 0), so the "
     "firmware repeats pad 1's level and reads the x16 riser's code 0x0E",
     [](BoardConfig &board) {
       SetRiserLevels(board, {0, 1, 0, 1});
       board.pads[kRiserPad0 + 2].owner = 1;
     }},
    {"lan-missing-controller", "no device behind port 0x18D: its bus reads all ones",
     [](BoardConfig &board) { RemoveEndpointBehindPort(board, 0x18D); }},
    {"lan-foreign-device", "a 0x8086/0x1539 device instead of the Ethernet controller behind port 0x18D",
     [](BoardConfig &board) { EndpointBehindPort(board, 0x18D)->vendorDevice = 0x15398086; }},
    {"lan-empty-bus", "the bus behind port 8 is empty: no controller for the first list",
     [](BoardConfig &board) { RemoveEndpointBehindPort(board, 0x008); }},
    {"lan-command-00", "every Ethernet controller's Command register reads 0x00 (memory space disabled)",
     [](BoardConfig &board) {
       for (PciEndpoint &endpoint : board.endpoints) endpoint.command = 0x00;
     }},
    {"lan-bar-type-bits",
     "the controller behind port 8 has a 64-bit prefetchable BAR: low bits 0xC, upper dword 0x00000001 at 0x14",
     [](BoardConfig &board) {
       PciEndpoint &endpoint = *EndpointBehindPort(board, 0x008);
       endpoint.bar0 |= 0xC;
       endpoint.bar0Upper = 0x00000001;
     }},
    {"no-port-locator", "the port locator service is not installed",
     [](BoardConfig &board) { board.portLocator = false; }},
    {"no-pcd", "the PEI PCD service is not installed", [](BoardConfig &board) { board.pcdPpi = false; }},
    {"pcd-upper-bits", "every bridge token's 32-bit PCD value has 0x5AA5 in its upper 16 bits",
     [](BoardConfig &board) {
       for (auto &[number, token] : board.pcdTokens) token.value |= 0x5AA50000;
     }},
    {"pcd-name-8-bytes", "PCD_PPI's token 5 holds 8 bytes, as OVMF's does: the 24-byte board name is refused",
     [](BoardConfig &board) { board.peiPcdSizes[5] = 8; }},
}};

}  // namespace

BoardConfig ShippedBoard() {
  BoardConfig board;
  board.name = "shipped";
  board.description = kVariants.front().description;
  board.pchDeviceId = 0xA305;
  SetRiserLevels(board, {0, 1, 1, 1});
  for (const OnboardLan &lan : kOnboardLan) {
    board.bridges.push_back({.bdf = lan.bridgeBdf, .secondaryBus = lan.bus, .subordinateBus = lan.bus});
    board.endpoints.push_back(
        {.bus = lan.bus, .vendorDevice = 0x15338086, .command = 0x06, .bar0 = lan.bar0, .mac = lan.mac});
    board.pcdTokens[lan.port] = {.size = 4, .value = lan.bridgeBdf};
  }
  board.smbiosSlots = {
      {1, 0x0027, "CPU1 RISER SLOT"},
      {2, 0x0028, "CPU1 RISER SLOT1 PCI-E 3.0 X16"},
      {3, 0x0029, "CPU1 RISER SLOT1 PCI-E 3.0 X8"},
  };
  return board;
}

std::optional<BoardConfig> NamedBoard(const std::string &name) {
  for (const Variant &variant : kVariants) {
    if (name != variant.name) continue;
    BoardConfig board = ShippedBoard();
    variant.change(board);
    board.name = variant.name;
    board.description = variant.description;
    return board;
  }
  return std::nullopt;
}

std::vector<std::string> NamedBoards() {
  std::vector<std::string> names;
  for (const Variant &variant : kVariants) names.emplace_back(variant.name);
  return names;
}

}  // namespace boardsim
