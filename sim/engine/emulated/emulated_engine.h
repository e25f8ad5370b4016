// The emulated engine: the real firmware images, BoardDxe.efi and
// BoardPei.te, run unmodified in a CPU emulator on the simulated board.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "sim/base/machine.h"
#include "sim/engine/emulated/emulated_debug.h"
#include "sim/engine/emulated/fault_state.h"

namespace boardsim {

// The folder holding BoardDxe.efi and BoardPei.te: $BOARDSIM_FIRMWARE_DIR if
// set, else firmware/ beside the program if there is one, else the build's own.
std::filesystem::path DefaultFirmwareDirectory();

// Reads and checks both images now; throws std::runtime_error naming the
// file if one is missing or malformed.
std::unique_ptr<Engine> MakeEmulatedEngine(const std::filesystem::path &imageDirectory = DefaultFirmwareDirectory());

// The registers and call chains of the faults the engine's boots ended
// with; none for an engine that is not the emulated one.
std::vector<emulated::FaultState> RecordedFaults(const Engine &engine);

// The same engine, whose machines for `phase` run under the debugger, boot
// after boot. The debugger must outlive the engine.
std::unique_ptr<Engine> MakeDebuggedEngine(const std::filesystem::path &imageDirectory, Phase phase,
                                           emulated::Debugger &debugger);

}  // namespace boardsim
