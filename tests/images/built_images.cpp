#include "built_images.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>

#include "tools/files/input_file.h"

namespace imagetest {

std::filesystem::path FirmwareDir() { return BOARD_FIRMWARE_DIR; }

std::vector<std::uint8_t> ReadBuiltFile(const std::filesystem::path &relative) {
  return boardfiles::ReadInputFile((FirmwareDir() / relative).string());
}

namespace {

std::string ToolIfFound(const std::string &configured) {
  return configured.empty() || configured.ends_with("-NOTFOUND") ? std::string() : configured;
}

}  // namespace

std::string LlvmReadobj() { return ToolIfFound(BOARD_LLVM_READOBJ); }
std::string LlvmObjdump() { return ToolIfFound(BOARD_LLVM_OBJDUMP); }

CommandResult RunCommand(const std::string &command) {
  CommandResult result;
  struct PipeCloser {
    void operator()(FILE *pipe) const { pclose(pipe); }
  };
  FILE *raw = popen((command + " 2>&1").c_str(), "r");
  if (raw == nullptr) return result;
  std::unique_ptr<FILE, PipeCloser> pipe(raw);
  std::array<char, 4096> buffer;
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) result.output.append(buffer.data(), got);
  const int status = pclose(pipe.release());
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace imagetest
