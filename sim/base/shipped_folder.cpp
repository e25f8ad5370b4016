#include "sim/base/shipped_folder.h"

#include <cstdlib>
#include <system_error>

namespace boardsim {

std::filesystem::path ShippedFolder(const char *environmentVariable, std::string_view name,
                                    const std::filesystem::path &buildFolder) {
  if (const char *folder = std::getenv(environmentVariable)) return folder;
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    auto beside = program.parent_path() / name;
    if (std::filesystem::is_directory(beside, error)) return beside;
  }
  return buildFolder;
}

}  // namespace boardsim
