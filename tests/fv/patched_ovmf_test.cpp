// The patched OVMF image read by an independent parser: UEFIExtract (Debian
// package uefitool-cli) must find both modules and no error. It always exits
// 0, so its messages are read instead; its notes on the volume top file (the
// reset vector's file, which it always remarks on) are not errors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string RunShell(const std::string &command) {
  std::string output;
  FILE *pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return "(could not run " + command + ")";
  std::array<char, 4096> buffer;
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), n);
  pclose(pipe);
  return output;
}

// The report's line that ends with `name`, or "(none)".
std::string LineNaming(const std::string &report, const std::string &name) {
  const auto at = report.find(name);
  if (at == std::string::npos) return "(no line names " + name + ")";
  const auto start = report.rfind('\n', at) + 1;
  return report.substr(start, report.find('\n', at) - start);
}

TEST(PatchedOvmf, UefiExtractFindsBothModulesAndNoError) {
  const fs::path image = BOARD_OVMF_IMAGE;
  ASSERT_TRUE(fs::exists(image)) << "no patched OVMF image at " << image
                                 << ": install the ovmf package (scripts/install-deps.sh, or sudo apt-get install "
                                    "ovmf), then reconfigure and build";
  const std::string extract = BOARD_UEFIEXTRACT;
  ASSERT_FALSE(extract.empty()) << "UEFIExtract not found: install the uefitool-cli package (scripts/install-deps.sh, "
                                   "or sudo apt-get install uefitool-cli), then reconfigure";

  const fs::path work = fs::temp_directory_path() / ("fv_uefiextract_" + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  const fs::path copy = work / "patched.fd";
  fs::copy_file(image, copy);
  std::istringstream messages(RunShell("cd '" + work.string() + "' && '" + extract + "' patched.fd report"));
  std::ifstream reportFile(work / "patched.fd.report.txt");
  const std::string report((std::istreambuf_iterator<char>(reportFile)), std::istreambuf_iterator<char>());
  fs::remove_all(work);

  for (std::string line; std::getline(messages, line);) {
    if (!line.empty() && line.find("Volume Top File") == std::string::npos) ADD_FAILURE() << "UEFIExtract: " << line;
  }
  EXPECT_EQ(LineNaming(report, "09BD1D6A-CE89-4D12-928B-4F4E480ADBD2 | BoardPei").substr(0, 30),
            " File            | PEI module ");
  EXPECT_EQ(LineNaming(report, "215FD844-570B-4123-A21F-2E99827456F9 | BoardDxe").substr(0, 30),
            " File            | DXE driver ");
}

}  // namespace
