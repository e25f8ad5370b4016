// The board's expected outcome, from its description alone: a second,
// small model of what BoardPei and BoardDxe do on this board, with every
// injected failure replayed at the call it hits. It never runs module code.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/board/board_config.h"
#include "sim/scoreboard/outcome.h"

namespace boardsim {

struct ExpectedBoot {
  Outcome outcome;
  // The riser code the firmware reads, and what it reads from each pad:
  // "pad 0 reads 0, pad 1 owned by agent 1: repeats the previous level (0), ...".
  std::uint8_t riserCode = 0;
  std::string riserPads;
  // Each injected failure that hits a call, where it took effect:
  // "SMBIOS.ReadStructure for instance 3 failed with EFI_DEVICE_ERROR
  // (injected): instance 3 kept".
  std::vector<std::string> injected;
};

ExpectedBoot ExpectedOutcome(const BoardConfig &board);

}  // namespace boardsim
