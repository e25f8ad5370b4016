// The fault a boot ended with, in the module's own terms: the function and
// source line of the faulting instruction and of each call that led there,
// read from the module's symbol file (<images>/BoardDxe.debug,
// BoardPei.debug) by llvm-symbolizer, and the registers at the fault.
// Runs a program, so it lives with boardsim rather than in the engines.
#pragma once

#include <filesystem>
#include <string>

#include "sim/engine/emulated/fault_state.h"

namespace boardsim {

// Lines such as
//   Fault in BoardPei at 0xFFFE0337: TargetOf(...) at pei/lane_overrides.h:49
//   Registers: eax=0x... ...
//   Call chain (saved frame pointers):
//     #1 0xFFFE0302 ApplyLaneOverrides(...) at pei/lane_overrides.cpp:24
// Without a symbol file (or a symbolizer) the frames keep their offsets
// ("BoardDxe+0x131D") and a line says why.
std::string FaultReport(const emulated::FaultState &fault, const std::filesystem::path &images);

}  // namespace boardsim
