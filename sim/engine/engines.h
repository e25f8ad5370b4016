// The engines a boot can run on, by name.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/base/machine.h"

namespace boardsim {

// "native" (host-built modules) and, where built, "emulated" (the real images).
std::vector<std::string> AvailableEngines();

// Throws std::invalid_argument for an unknown name. An empty folder means
// the build's own (modules for native, firmware images for emulated).
std::unique_ptr<Engine> MakeEngine(const std::string &name, const std::filesystem::path &folder = {});

}  // namespace boardsim
