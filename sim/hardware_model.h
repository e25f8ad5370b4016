// The board's registers: the PCH sideband window (GPIO communities of both
// PCH series, lane registers), the PCI configuration window (PCH device,
// bridges, endpoints) and the Ethernet controllers' BAR-mapped registers.
// Every access is recorded in the trace with its exact width.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/board_config.h"
#include "sim/trace.h"

namespace boardsim {

class HardwareModel {
 public:
  struct Window {
    std::uint64_t base = 0;
    std::uint64_t size = 0;
    std::string name;
  };
  struct LaneWrite {
    std::uint8_t port = 0;
    std::uint16_t offset = 0;
    std::uint32_t value = 0;
  };

  HardwareModel(const BoardConfig &board, Trace &trace);

  // The address ranges the model answers for (page aligned).
  std::vector<Window> Windows() const;
  bool Claims(std::uint64_t address) const;

  // One access of 8, 16, 32 or 64 bits. An access no model claims is
  // recorded as unexpected; such a read returns all ones.
  std::uint64_t Read(std::uint64_t address, unsigned width);
  void Write(std::uint64_t address, unsigned width, std::uint64_t value);

  // Inspection for reports and tests; not traced.
  const std::vector<LaneWrite> &LaneWrites() const;
  std::uint8_t CommandRegister(std::uint8_t bus) const;

 private:
  // owned by the hardware model's implementation
};

}  // namespace boardsim
