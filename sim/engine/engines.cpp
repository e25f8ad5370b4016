#include "sim/engine/engines.h"

#include <stdexcept>

#include "sim/engine/emulated/emulated_engine.h"
#include "sim/engine/native/native_engine.h"

namespace boardsim {

std::vector<std::string> AvailableEngines() { return {"native", "emulated"}; }

std::unique_ptr<Engine> MakeEngine(const std::string &name, const std::filesystem::path &folder) {
  if (name == "native") return MakeNativeEngine(folder.empty() ? DefaultModuleDirectory() : folder);
  if (name == "emulated") return MakeEmulatedEngine(folder.empty() ? DefaultFirmwareDirectory() : folder);
  throw std::invalid_argument("unknown engine \"" + name + "\" (available: native, emulated)");
}

}  // namespace boardsim
