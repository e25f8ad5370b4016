// The figures `make bench` tracks, measured on the shipped board: image bytes
// against budgets, instructions per call into the images, register accesses
// per operation against the fewest the behaviour needs, and boots per second
// on each engine.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>

namespace boardbench {

// Sizes of BoardDxe.efi and BoardPei.te in imageDirectory.
nlohmann::ordered_json ImageFigures(const std::filesystem::path &imageDirectory);
// Instructions and register accesses of one boot on the emulated engine.
nlohmann::ordered_json BootFigures(const std::filesystem::path &imageDirectory);
// Median boots per second of each engine over the given number of boots.
nlohmann::ordered_json SpeedFigures(const std::filesystem::path &imageDirectory, int boots);

}  // namespace boardbench
