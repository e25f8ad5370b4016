// The PCI configuration window: each PCI function of the board as a 4 KiB
// configuration image, so reads of any width and offset agree with each
// other. Functions the board lacks read all ones and ignore writes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "sim/board/board_config.h"
#include "sim/hw/register_answer.h"

namespace boardsim {

// A bus/device/function in decimal, as register descriptions write it: "0:31.0".
std::string PciLocation(std::uint16_t bdf);

class PciConfigSpace {
 public:
  explicit PciConfigSpace(const BoardConfig &board);

  // `offset` is the offset inside the window (bus << 20 | device << 15 |
  // function << 12 | register); `bytes` is 1, 2, 4 or 8.
  RegisterAnswer Read(std::uint32_t offset, unsigned bytes) const;
  std::string Write(std::uint32_t offset, unsigned bytes, std::uint64_t value);
  // What an access of `bytes` at `offset` reaches, naming the function and
  // the registers it covers: "PCH device id (0:31.0 +0x02)", "Ethernet
  // controller 2:0.0 Command", "PCI bridge 0:28.0 subordinate bus".
  std::string Describe(std::uint32_t offset, unsigned bytes) const;

  // The low byte of an endpoint's Command register; empty if there is no
  // function at that location.
  std::optional<std::uint8_t> Command(std::uint16_t bdf) const;
  // How many writes reached the Command register of that function.
  unsigned CommandWrites(std::uint16_t bdf) const;

 private:
  enum class Kind : std::uint8_t { Pch, Bridge, Endpoint };
  struct Function {
    Kind kind = Kind::Endpoint;
    std::array<std::uint8_t, 4096> image{};
    unsigned commandWrites = 0;
  };

  std::map<std::uint16_t, Function> functions_;  // by bus/device/function
};

}  // namespace boardsim
