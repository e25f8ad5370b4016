// The PCH's sideband register window: the GPIO communities (ports 0x6A to
// 0x6E) laid out for the fitted PCH series, and the lane registers (ports
// 0xA8, 0xAA, 0xAB). Registers are 32 bits wide; a register never written
// and not describing a configured pad reads 0.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "sim/board/board_config.h"
#include "sim/board/pch_gpio_layout.h"
#include "sim/hw/register_answer.h"

namespace boardsim {

class SidebandRegisters {
 public:
  struct LaneWrite {
    std::uint8_t port = 0;
    std::uint16_t offset = 0;
    std::uint32_t value = 0;
    unsigned width = 32;
  };

  explicit SidebandRegisters(const BoardConfig &board);

  // `address` lies in the sideband window; `bytes` is 1, 2, 4 or 8.
  RegisterAnswer Read(std::uint32_t address, unsigned bytes) const;
  std::string Write(std::uint32_t address, unsigned bytes, std::uint64_t value);
  // What the register at `address` is, in the fitted series' layout:
  // "GPP_K pad ownership, pads 0-7", "GPP_K pad 1 DW0", "lane register
  // 0x1558 of port 0xA8", "GPIO community 0x6B register 0x0010".
  std::string Describe(std::uint32_t address) const;

  PchSeries Series() const { return series_; }
  const std::vector<LaneWrite> &LaneWrites() const { return laneWrites_; }
  // The pad's owning agent (the low 2 bits of its ownership field; 0 = host)
  // and its level (DW0 bit 1) as they stand; empty if the pad is not a pad
  // of the fitted PCH series.
  std::optional<unsigned> PadOwner(std::uint32_t pad) const;
  std::optional<unsigned> PadLevel(std::uint32_t pad) const;

 private:
  std::uint32_t Register(std::uint32_t address) const;
  std::optional<GpioPadId> FittedPad(std::uint32_t pad) const;

  PchSeries series_;
  std::map<std::uint32_t, std::uint32_t> registers_;  // by dword-aligned address
  std::vector<LaneWrite> laneWrites_;
};

}  // namespace boardsim
