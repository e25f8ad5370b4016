// boardsim runs the real images by default: the same report as the host-built
// modules, plus the instructions each call into an image executed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
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

// The report without its engine name and instruction counts.
std::string Facts(std::string report) {
  report.replace(report.find("(engine: "), report.find(')', report.find("(engine: ")) - report.find("(engine: ") + 1,
                 "(engine)");
  const auto counts = report.find("\nInstructions executed:\n");
  if (counts != std::string::npos) report.erase(counts, report.find("\nProblems:") - counts);
  return report;
}

TEST(BoardsimEmulated, RealImagesAreTheDefaultAndReportTheSameFacts) {
  const CommandRun emulated = Boardsim("");
  const CommandRun native = Boardsim("--engine native");
  ASSERT_EQ(emulated.status, 0) << emulated.output;
  ASSERT_EQ(native.status, 0) << native.output;
  EXPECT_TRUE(Contains(emulated.output, "(engine: emulated)")) << emulated.output;
  EXPECT_EQ(Facts(emulated.output), Facts(native.output));
}

TEST(BoardsimEmulated, ReportCountsInstructionsOfEntriesHandlersAndMembers) {
  const CommandRun run = Boardsim("--engine emulated --images " BOARD_BUILD_DIR "/firmware");
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char *call :
       {"BoardPei entry: ", "BoardDxe entry: ", "Setup string handler (event#2): ", "SMBIOS slot handler (event#3): ",
        "ReadyToBoot handler (event#1): ", "BOARD_HOOK_PPI BoardInfo: ", "BOARD_HOOK_PROTOCOL LanMacQuery: "}) {
    const auto at = run.output.find(std::string("\n  ") + call);
    ASSERT_NE(at, std::string::npos) << call << " missing:\n" << run.output;
    EXPECT_GT(std::stoul(run.output.substr(at + 3 + std::string(call).size())), 0u) << call;
  }
  EXPECT_FALSE(Contains(Boardsim("--engine native").output, "Instructions executed")) << "native counts nothing";
}

TEST(BoardsimEmulated, ImageThatCannotLoadStopsTheBootButNotTheReport) {
  // BoardPei as built; BoardDxe with its SizeOfHeaders (optional header + 60) zeroed.
  const auto folder = std::filesystem::temp_directory_path() / "boardsim_cli_damaged_driver";
  std::filesystem::create_directories(folder);
  const std::filesystem::path built = BOARD_BUILD_DIR "/firmware";
  std::filesystem::copy_file(built / "BoardPei.te", folder / "BoardPei.te",
                             std::filesystem::copy_options::overwrite_existing);
  std::ifstream in(built / "BoardDxe.efi", std::ios::binary);
  std::vector<char> driver((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::uint32_t peOffset = 0;
  std::memcpy(&peOffset, driver.data() + 0x3C, 4);
  std::memset(driver.data() + peOffset + 24 + 60, 0, 4);
  std::ofstream(folder / "BoardDxe.efi", std::ios::binary).write(driver.data(), std::streamsize(driver.size()));

  const CommandRun run = Boardsim("--images " + folder.string());
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.output, "PEI phase: BoardPei returned EFI_SUCCESS")) << run.output;
  EXPECT_TRUE(Contains(run.output, "PCD token 5: \"KRV7-DM3TQA\"")) << run.output;
  EXPECT_TRUE(Contains(run.output, "DXE phase: BoardDxe entry returned nothing (the boot stopped first)"))
      << run.output;
  EXPECT_TRUE(Contains(run.output,
                       "Boot stopped: " + (folder / "BoardDxe.efi").string() + ": optional header SizeOfHeaders is 0"))
      << run.output;
  std::filesystem::remove_all(folder);
}

TEST(BoardsimEmulated, MissingImagesAreNamed) {
  const CommandRun run = Boardsim("--images /nonexistent/images");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.output, "/nonexistent/images/BoardDxe.efi does not exist")) << run.output;
}

// --version reads what the images say: an image whose version fields and
// firmware file whose version section were changed show the changed values.
TEST(BoardsimVersion, ShowsWhatTheImagesCarry) {
  const auto folder = std::filesystem::temp_directory_path() /
                      ("boardsim_cli_version_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                       "_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::filesystem::path built = BOARD_BUILD_DIR "/firmware";
  const auto read = [&](const char *name) {
    std::ifstream in(built / name, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  auto driver = read("BoardDxe.efi");
  std::uint32_t peOffset = 0;
  std::memcpy(&peOffset, driver.data() + 0x3C, 4);
  driver[peOffset + 24 + 46] = 7;  // MinorImageVersion
  std::ofstream(folder / "BoardDxe.efi", std::ios::binary).write(driver.data(), std::streamsize(driver.size()));
  // The version section ends the file: build number 1, then u"1.0.0" and its NUL.
  auto file = read("BoardDxe.ffs");
  const std::string tail = {1, 0, '1', 0, '.', 0, '0', 0, '.', 0, '0', 0, 0, 0};
  ASSERT_GE(file.size(), tail.size());
  ASSERT_EQ(std::string(file.end() - std::ptrdiff_t(tail.size()), file.end()), tail);
  const std::string changed = {9, 0, '2', 0, '.', 0, '3', 0, '.', 0, '4', 0, 0, 0};
  std::copy(changed.begin(), changed.end(), file.end() - std::ptrdiff_t(changed.size()));
  std::ofstream(folder / "BoardDxe.ffs", std::ios::binary).write(file.data(), std::streamsize(file.size()));

  const CommandRun run = Boardsim("--version --images " + folder.string());
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "BoardDxe.efi: image version 1.7 (PE header)")) << run.output;
  EXPECT_TRUE(Contains(run.output, "BoardDxe.ffs: version 2.3.4, build 9 (version section)")) << run.output;
  std::filesystem::remove_all(folder);
}

}  // namespace
