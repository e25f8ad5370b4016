// Images built wrong on purpose, by patching a copy of the shipped driver:
// boardsim must judge what they did against the board's expected outcome,
// name the outcome that differs, and fail.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/boardsim_cli/boardsim_runner.h"

namespace {

using boardsim::testing::Boardsim;
using boardsim::testing::CommandRun;
using boardsim::testing::Contains;

struct Patch {
  const char *what;
  std::vector<unsigned char> find;     // found exactly once in BoardDxe.efi
  std::vector<unsigned char> replace;  // same length
  const char *problem;                 // the Problem line the report must hold
};

std::vector<unsigned char> Bytes(const std::string &text) { return {text.begin(), text.end()}; }

TEST(BoardsimBrokenImages, AWrongDriverIsAProblemNamingTheOutcome) {
  const std::vector<Patch> patches = {
      // lea edx, [rax + 0x5400]: the MAC is read 16 bytes too far into the controller's registers.
      {"MAC register offset 0x5410",
       {0x8D, 0x90, 0x00, 0x54, 0x00, 0x00},
       {0x8D, 0x90, 0x10, 0x54, 0x00, 0x00},
       "  Problem: LAN MAC first list: expected 1 address 02:4B:52:56:37:01, seen 1 address "
       "00:00:00:00:00:00\n"},
      {"x16 prompt text", Bytes("Q37 PCI-E 3.0 X16 OPROM"), Bytes("Q37 PCI-E 3.0 X61 OPROM"),
       "  Problem: Setup texts: expected \"Setup\" 0x1A2B \"VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM\", \"Setup\" 0x1A2C "
       "\"Enable or Disable VKT-PM2W-Q37 OPROM option.\", seen \"Setup\" 0x1A2B \"VKT-PM2W-Q37 PCI-E 3.0 X61 "
       "OPROM\", \"Setup\" 0x1A2C \"Enable or Disable VKT-PM2W-Q37 OPROM option.\"\n"},
      // The x16 card's deletions {3, 1}, just before the x8 card's code 0x0C, swapped: instance 1 goes first,
      // and instance 3 is then no longer there.
      {"x16 deletion order 1, 3",
       {0x03, 0x01, 0, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0, 0, 0, 0, 0},
       {0x01, 0x03, 0, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0, 0, 0, 0, 0},
       "  Problem: SMBIOS slot records deleted: expected instance 3 (handle 0x0029), instance 1 (handle 0x0027), "
       "seen instance 1 (handle 0x0027)\n"},
  };
  const std::filesystem::path built = BOARD_BUILD_DIR "/firmware";
  std::ifstream in(built / "BoardDxe.efi", std::ios::binary);
  const std::vector<unsigned char> shipped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const Patch &patch : patches) {
    SCOPED_TRACE(patch.what);
    std::vector<unsigned char> driver = shipped;
    const auto at = std::search(driver.begin(), driver.end(), patch.find.begin(), patch.find.end());
    ASSERT_NE(at, driver.end()) << "the shipped driver no longer holds the bytes to patch";
    ASSERT_EQ(std::search(at + 1, driver.end(), patch.find.begin(), patch.find.end()), driver.end());
    std::copy(patch.replace.begin(), patch.replace.end(), at);

    const auto folder = std::filesystem::temp_directory_path() / ("boardsim_broken_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(built / "BoardPei.te", folder / "BoardPei.te",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(folder / "BoardDxe.efi", std::ios::binary)
        .write(reinterpret_cast<const char *>(driver.data()), std::streamsize(driver.size()));
    const CommandRun run = Boardsim("--images " + folder.string());
    const CommandRun json = Boardsim("--json --images " + folder.string());
    std::filesystem::remove_all(folder);

    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, "\nProblems:\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, patch.problem)) << run.output;
    EXPECT_EQ(json.status, 1);
    const std::string outcome(patch.problem + 11, std::string(patch.problem + 11).find(':'));
    EXPECT_TRUE(Contains(json.output, "\"outcome\": \"" + outcome + "\"")) << json.output;
  }
}

}  // namespace
