// A boot whose image faults names where, in the module's own terms: the
// function and source line of the faulting instruction, the registers, and
// the calls that led there (BoardPei by its saved frame pointers, BoardDxe by
// a stack scan), from the symbol file beside the images.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "tests/boardsim_cli/boardsim_runner.h"

namespace {

namespace fs = std::filesystem;
using boardsim::testing::Boardsim;
using boardsim::testing::CommandRun;
using boardsim::testing::Contains;

struct FaultCase {
  const char *image;                // the file patched
  const char *symbols;              // its symbol file
  std::vector<unsigned char> code;  // a unique run of its code
  std::size_t patchAt;              // where in that run ud2 goes
  const char *method;
  const char *pcRegister;
  std::vector<const char *> frames;  // "#0 ... Name(" in order, file:line after each
};

const std::vector<FaultCase> kCases = {
    // TargetOf after its push ebp; mov ebp, esp, called by ApplyLaneOverrides,
    // called by ApplyBoardLaneOverrides, called by the entry point.
    {"BoardPei.te",
     "BoardPei.debug",
     {0x55, 0x89, 0xE5, 0x53, 0x57, 0x56, 0x8B, 0x7D, 0x08, 0x8B, 0x4D, 0x0C},
     3,
     "saved frame pointers",
     "eip",
     {"TargetOf(", "ApplyLaneOverrides(", "ApplyBoardLaneOverrides(", "_BoardPeiEntry"}},
    // LanMacQuery after its pushes and stack allocation, called by the
    // SMBIOS slot handler.
    {"BoardDxe.efi",
     "BoardDxe.debug",
     {0x41, 0x56, 0x56, 0x57, 0x53, 0x48, 0x83, 0xEC, 0x28, 0x49, 0xBE, 0x02},
     9,
     "stack scan",
     "rip",
     {"LanMacQuery(", "SmbiosSlotArrivalHandler("}},
};

std::vector<unsigned char> ReadAll(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BoardsimFaultReport, NamesFunctionLineRegistersAndCallChain) {
  const fs::path built = BOARD_FIRMWARE_DIR;
  for (const auto &fault : kCases) {
    SCOPED_TRACE(fault.image);
    const fs::path folder = fs::temp_directory_path() / ("boardsim_fault_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    for (const char *name : {"BoardDxe.efi", "BoardPei.te", "BoardDxe.debug", "BoardPei.debug"})
      fs::copy_file(built / name, folder / name, fs::copy_options::overwrite_existing);
    std::vector<unsigned char> image = ReadAll(built / fault.image);
    const auto found = std::search(image.begin(), image.end(), fault.code.begin(), fault.code.end());
    ASSERT_NE(found, image.end()) << "the patched code is no longer in " << fault.image;
    ASSERT_EQ(std::search(found + 1, image.end(), fault.code.begin(), fault.code.end()), image.end());
    found[static_cast<long>(fault.patchAt)] = 0x0F;  // ud2
    found[static_cast<long>(fault.patchAt) + 1] = 0x0B;
    std::ofstream(folder / fault.image, std::ios::binary)
        .write(reinterpret_cast<const char *>(image.data()), std::streamsize(image.size()));

    const CommandRun run = Boardsim("--images " + folder.string());
    EXPECT_EQ(run.status, 1);
    std::smatch stopped;
    ASSERT_TRUE(std::regex_search(run.output, stopped, std::regex("invalid instruction at (0x[0-9A-F]+)")))
        << run.output;
    // The register line holds the CPU's state at the faulting instruction.
    std::smatch reg;
    ASSERT_TRUE(std::regex_search(run.output, reg, std::regex(std::string(" ") + fault.pcRegister + "=(0x[0-9A-F]+)")))
        << run.output;
    EXPECT_EQ(std::stoull(reg[1], nullptr, 16), std::stoull(stopped[1], nullptr, 16));
    EXPECT_TRUE(std::regex_search(run.output, std::regex("\\n    [er]ax=0x[0-9A-F]+ [er]bx=0x"))) << run.output;
    EXPECT_TRUE(Contains(run.output, std::string("Call chain (") + fault.method + "):")) << run.output;
    std::size_t at = run.output.find("Call chain (");
    for (std::size_t frame = 0; frame < fault.frames.size(); ++frame) {
      const std::string expected = "    #" + std::to_string(frame) + " ";
      at = run.output.find(expected, at);
      ASSERT_NE(at, std::string::npos) << expected << "\n" << run.output;
      const std::string line = run.output.substr(at, run.output.find('\n', at) - at);
      EXPECT_TRUE(Contains(line, fault.frames[frame])) << line;
      EXPECT_TRUE(std::regex_search(line, std::regex(" at (pei|dxe)/[a-z_]+\\.(cpp|h):[0-9]+$"))) << line;
      ++at;
    }

    // Without the symbol file the frames keep the image offsets, and the report says why.
    fs::remove(folder / fault.symbols);
    const CommandRun bare = Boardsim("--images " + folder.string());
    EXPECT_TRUE(Contains(bare.output, "(no symbol file " + (folder / fault.symbols).string())) << bare.output;
    EXPECT_TRUE(
        std::regex_search(bare.output, std::regex("    #1 0x[0-9A-F]+ Board(Pei|Dxe)\\+0x[0-9A-F]+ \\(\\.text\\)")))
        << bare.output;
    fs::remove_all(folder);
  }
}

}  // namespace
