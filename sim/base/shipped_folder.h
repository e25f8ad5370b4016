// Where a program finds the files it loads at run time (the host-built
// modules, the firmware images) when it may run outside the build tree: a
// copy of the fuzz harnesses in a fuzzing service's output folder carries
// them in a folder beside the executable.
#pragma once

#include <filesystem>
#include <string_view>

namespace boardsim {

// $environmentVariable if set; else the folder `name` beside the running
// program, if there is one; else the build's own folder.
std::filesystem::path ShippedFolder(const char *environmentVariable, std::string_view name,
                                    const std::filesystem::path &buildFolder);

}  // namespace boardsim
