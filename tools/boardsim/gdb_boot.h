// boardsim --gdb: the default boot with one phase's module under gdb, run
// again from its start each time gdb goes back in time.
#pragma once

#include "options.h"
#include "sim/board/board_config.h"

namespace boardsim {

// Prints the boot's report once it ends as gdb lets it; returns the exit
// status (1 if the boot stopped early or gdb killed it).
int RunUnderGdb(const Options &options, const BoardConfig &board);

}  // namespace boardsim
