// The native engine: the modules compiled for the host, loaded afresh for
// each boot from their shared objects, calling the models through host
// functions with the firmware calling convention.
#pragma once

#include <filesystem>
#include <memory>

#include "sim/base/machine.h"

namespace boardsim {

// The folder holding BoardDxeHost.so and BoardPeiHost.so: $BOARDSIM_MODULE_DIR
// if set, else modules/ beside the program if there is one, else the build's own.
std::filesystem::path DefaultModuleDirectory();

std::unique_ptr<Engine> MakeNativeEngine(std::filesystem::path moduleDirectory = DefaultModuleDirectory());

}  // namespace boardsim
