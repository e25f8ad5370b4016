// Where the image tests find the firmware images of this build and the LLVM
// tools used to cross-check them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace imagetest {

// <build>/firmware: BoardDxe.efi, BoardPei.te, and the cross builds'
// folders x64/ and ia32/ (archives, BoardPei.pe32).
std::filesystem::path FirmwareDir();
std::vector<std::uint8_t> ReadBuiltFile(const std::filesystem::path &relative);

// The tool's path, or empty if it was not found when the build was configured.
std::string LlvmReadobj();
std::string LlvmObjdump();

struct CommandResult {
  int exitStatus = -1;
  std::string output;  // stdout and stderr
};
CommandResult RunCommand(const std::string &command);

}  // namespace imagetest
