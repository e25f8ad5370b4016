// Consistency checks of a board configuration, run on every board file and
// before a hardware model is built, so that a board that cannot exist is
// reported by field instead of behaving oddly.
#pragma once

#include <string>
#include <vector>

#include "sim/board/board_config.h"

namespace boardsim {

struct BoardProblem {
  std::string field;  // "endpoints[1].bar0"
  std::string problem;
};

// Pads that exist, one PCI function per location, BAR windows that are
// aligned and clash with nothing.
std::vector<BoardProblem> CheckHardware(const BoardConfig &board);
// Slot records with distinct instances and handles, failures naming known
// services.
std::vector<BoardProblem> CheckServices(const BoardConfig &board);
std::vector<BoardProblem> CheckBoard(const BoardConfig &board);

}  // namespace boardsim
