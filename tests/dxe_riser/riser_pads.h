// The riser identification pads as the board under test sets them, and the
// trace lines their reads produce on an H-series PCH.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/board/board_config.h"
#include "sim/board/pch_gpio_layout.h"

namespace boardsim::testing {

// GPP_K pads 0..3 of the H series: one ownership register for all four at
// sideband port 0x6B offset 0x20, DW0 registers from offset 0x600, 16 apart.
constexpr std::uint32_t kRiserPad0 = 0x030A0000;
constexpr std::uint32_t kRiserOwnershipRegister = 0xFD6B0020;
constexpr std::uint32_t kRiserDw0Register0 = 0xFD6B0600;
constexpr std::uint32_t kPadConfigStride = 0x10;
constexpr const char *kDeviceIdReadPrefix = "R16 0xE00F8002 = ";

inline std::string Read32Line(std::uint32_t address, std::uint32_t value) {
  char line[40];
  std::snprintf(line, sizeof line, "R32 0x%08X = 0x%08X", address, value);
  return line;
}

// The ownership register shared by GPP_K pads 0..7: four bits per pad.
inline std::uint32_t RiserOwnershipWord(const BoardConfig &board) {
  std::uint32_t word = 0;
  for (std::uint32_t pad = 0; pad < 8; ++pad)
    if (const auto state = board.pads.find(kRiserPad0 + pad); state != board.pads.end())
      word |= (state->second.owner & 0xF) << (pad * 4);
  return word;
}

inline std::uint32_t RiserDw0(const BoardConfig &board, std::uint32_t pad) {
  const auto state = board.pads.find(kRiserPad0 + pad);
  return state == board.pads.end() ? 0 : state->second.dw0;
}

// What reading pad `pad` leaves in the trace: its ownership register, then
// its DW0 register unless another agent owns the pad.
inline std::vector<std::string> RiserPadReadLines(const BoardConfig &board, std::uint32_t pad) {
  std::vector<std::string> lines = {Read32Line(kRiserOwnershipRegister, RiserOwnershipWord(board))};
  const auto state = board.pads.find(kRiserPad0 + pad);
  const bool hostOwned = state == board.pads.end() || (state->second.owner & 0x3) == 0;
  if (hostOwned) lines.push_back(Read32Line(kRiserDw0Register0 + pad * kPadConfigStride, RiserDw0(board, pad)));
  return lines;
}

// All four pads, in bit order.
inline std::vector<std::string> RiserCodeReadLines(const BoardConfig &board) {
  std::vector<std::string> lines;
  for (std::uint32_t pad = 0; pad < 4; ++pad)
    for (auto &line : RiserPadReadLines(board, pad)) lines.push_back(std::move(line));
  return lines;
}

// A riser pad another agent owns; its DW0 still reads `level`.
inline void GiveRiserPadToAnotherAgent(BoardConfig &board, std::uint32_t pad, unsigned level) {
  board.pads[kRiserPad0 + pad] = {1, InputPadDw0(level)};
}

inline void SetRiserPadLevel(BoardConfig &board, std::uint32_t pad, unsigned level) {
  board.pads[kRiserPad0 + pad] = {0, InputPadDw0(level)};
}

}  // namespace boardsim::testing
