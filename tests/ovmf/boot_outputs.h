// What one recorded OVMF boot left behind (tests/ovmf/boot_ovmf.sh record):
// the probes' reports and QEMU's log of accesses that reached no device.
#pragma once

#include <string>
#include <vector>

namespace ovmf::testing {

struct BootOutputs {
  // The PEI probe's report (debug console), "pei probe: begin" to "end".
  std::vector<std::string> peiReport;
  // The application's report (serial console), "dxe probe: begin" to "end",
  // with the terminal's escape sequences and carriage returns removed.
  std::vector<std::string> dxeReport;
  // QEMU's "Invalid read/write at addr ..., size N" lines, in order, cut
  // after the size.
  std::vector<std::string> unassignedAccesses;
};

// The two recorded boots (OVMF_BOOT_DIR/bare and /shipped): the probe
// application on QEMU's empty register windows, and with the shipped board's
// registers standing in. Each is read once.
enum class Registers { kBare, kShippedBoard };
const BootOutputs &RecordedBoot(Registers registers = Registers::kBare);

// Lines of `lines` whose text starts with one of the prefixes, in order.
std::vector<std::string> LinesStartingWith(const std::vector<std::string> &lines,
                                           const std::vector<std::string> &prefixes);

// The lines from the first one equal to `first` through the first one after
// it that equals `end` (or through the last line).
std::vector<std::string> LinesFrom(const std::vector<std::string> &lines, const std::string &first,
                                   const std::string &end);

// What `boardsim --trace` printed for the given further arguments (board,
// engine), standard error included.
std::string SimulatedBootOutput(const std::string &arguments);

}  // namespace ovmf::testing
