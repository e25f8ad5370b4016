// boardsim as a firmware engineer runs it: the report, JSON output, board
// choice, and errors that say what was wrong.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/boardsim_cli/boardsim_runner.h"

namespace {

using boardsim::testing::Boardsim;
using boardsim::testing::CommandRun;
using boardsim::testing::Contains;

std::filesystem::path WriteBoardFile(const std::string &name, const std::string &text) {
  const auto path = std::filesystem::temp_directory_path() / ("boardsim_cli_" + name + ".json");
  std::ofstream(path) << text;
  return path;
}

TEST(BoardsimReport, ShippedBoardShowsRiserTextsSlotsAndMacs) {
  const CommandRun run = Boardsim("--engine native");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "x16 riser VKT-PM2W-Q37")) << run.output;
  EXPECT_TRUE(Contains(run.output, "token 0x1A2B: \"VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM\"")) << run.output;
  EXPECT_TRUE(Contains(run.output, "token 0x1A2C: \"Enable or Disable VKT-PM2W-Q37 OPROM option.\"")) << run.output;
  EXPECT_TRUE(Contains(run.output,
                       "deleted:\n    instance 3 (handle 0x0029, CPU1 RISER SLOT1 PCI-E 3.0 X8)\n"
                       "    instance 1 (handle 0x0027, CPU1 RISER SLOT)\n"))
      << run.output;
  EXPECT_TRUE(Contains(run.output, "kept:\n    instance 2 (")) << run.output;
  EXPECT_TRUE(Contains(run.output, "PCD token 5: \"KRV7-DM3TQA\" (24 bytes")) << run.output;
  EXPECT_TRUE(Contains(run.output, "port 0xA8 offset 0x1558 = 0x152F2800")) << run.output;
  EXPECT_TRUE(Contains(run.output, "port 0xA8 offset 0x1D58 = 0x152F2800")) << run.output;
  EXPECT_TRUE(Contains(run.output, "Problems: none")) << run.output;
}

TEST(BoardsimReport, TraceListsRegisterAccessesAndCalls) {
  const CommandRun run = Boardsim("--engine native --trace");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "R16 0xE00F8002 = 0xA305")) << run.output;
  EXPECT_TRUE(Contains(run.output, "call SMBIOS.DeleteStructure(handle ")) << run.output;
  EXPECT_TRUE(Contains(run.output, "W32 0xFDA81558 = 0x152F2800")) << run.output;
}

TEST(BoardsimJson, IsValidJsonWithTheSameFacts) {
  const CommandRun run = Boardsim("--engine native --json --trace");
  ASSERT_EQ(run.status, 0) << run.output;
  const auto report = nlohmann::json::parse(run.output);
  EXPECT_EQ(report["pei"]["pcd_token_5"]["text"], "KRV7-DM3TQA");
  EXPECT_EQ(report["pei"]["lane_writes"].size(), 2u);
  EXPECT_EQ(report["dxe"]["setup_texts"].size(), 2u);
  EXPECT_EQ(report["dxe"]["smbios_slots_deleted"][0]["instance"], 3);
  EXPECT_EQ(report["dxe"]["smbios_slots_deleted"][1]["instance"], 1);
  EXPECT_EQ(report["dxe"]["lan_mac_query"]["first"]["count"], 1);
  EXPECT_EQ(report["dxe"]["lan_mac_query"]["second"]["count"], 3);
  EXPECT_TRUE(report["problems"].empty());
  EXPECT_FALSE(report["trace"].empty());
}

TEST(BoardsimBoards, EveryNamedBoardBootsWithValidJson) {
  const CommandRun list = Boardsim("--list-boards");
  ASSERT_EQ(list.status, 0) << list.output;
  std::size_t start = 0;
  int boards = 0;
  while (start < list.output.size()) {
    const std::size_t end = list.output.find('\n', start);
    const std::string line = list.output.substr(start, end - start);
    start = end == std::string::npos ? list.output.size() : end + 1;
    const std::string name = line.substr(0, line.find(':'));
    if (name.empty()) continue;
    ++boards;
    const CommandRun run = Boardsim("--engine native --json --board " + name);
    ASSERT_EQ(run.status, 0) << name << ": " << run.output;
    EXPECT_NO_THROW((void)nlohmann::json::parse(run.output)) << name;
  }
  EXPECT_GE(boards, 6);
}

TEST(BoardsimBoards, X8RiserSetsX8TextsAndKeepsInstance3) {
  const CommandRun run = Boardsim("--engine native --board x8");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"VKT-PM2W-Q5 PCI-E 3.0 X8 OPROM\"")) << run.output;
  EXPECT_TRUE(Contains(run.output, "kept:\n    instance 3 (")) << run.output;
}

// A board file changing one pad of the base and failing one SMBIOS read by
// its instance: the other pads stay the base's, the report explains the x16
// code the firmware read, and the read of instance 1 (the second) fails.
TEST(BoardsimBoards, PadMergeAndFailureByArgumentFromABoardFile) {
  const auto path = WriteBoardFile("pad2_" + std::to_string(::getpid()), R"({
    "base": "shipped",
    "pads": [{"pad": {"group": "GPP_K", "index": 2}, "owner": 1, "level": 0}],
    "failures": [{"service": "SMBIOS.ReadStructure", "arguments": {"instance": 1}, "status": "EFI_DEVICE_ERROR"}]})");
  const CommandRun run = Boardsim("--engine native --trace --board " + path.string());
  std::filesystem::remove(path);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output,
                       "Riser: GPP_K pad 0 reads 0, pad 1 reads 1, pad 2 owned by agent 1: repeats the "
                       "previous level (1), pad 3 reads 1\n    code 0x0E: x16 riser VKT-PM2W-Q37\n"))
      << run.output;
  EXPECT_TRUE(Contains(run.output, "token 0x1A2B: \"VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM\"")) << run.output;
  EXPECT_TRUE(Contains(run.output, "call SMBIOS.ReadStructure(type 9, instance 1) = EFI_DEVICE_ERROR (injected)"))
      << run.output;
  EXPECT_TRUE(Contains(run.output,
                       "deleted:\n    instance 3 (handle 0x0029, CPU1 RISER SLOT1 PCI-E 3.0 X8)\n"
                       "  SMBIOS slot records kept:\n    instance 1 (handle 0x0027, CPU1 RISER SLOT)\n"
                       "    instance 2 (handle 0x0028, CPU1 RISER SLOT1 PCI-E 3.0 X16)\n"
                       "  Injected: SMBIOS.ReadStructure for instance 1 failed with EFI_DEVICE_ERROR (injected): "
                       "instance 1 kept\n"))
      << run.output;
  EXPECT_TRUE(Contains(run.output, "\nProblems: none\n")) << run.output;
}

TEST(BoardsimBoards, DumpedBoardLoadsBackAsABoardFile) {
  const CommandRun dump = Boardsim("--dump-board lp-pch");
  ASSERT_EQ(dump.status, 0) << dump.output;
  const auto path = WriteBoardFile("dumped", dump.output);
  const CommandRun run = Boardsim("--engine native --board " + path.string());
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "Setup texts set: none")) << run.output;
  std::filesystem::remove(path);
}

TEST(BoardsimErrors, BadBoardFileNamesTheFieldAndTheFile) {
  const auto path = WriteBoardFile("bad", R"({"base": "shipped", "pchDeviceId": "zzz"})");
  const CommandRun run = Boardsim("--engine native --board " + path.string());
  EXPECT_NE(run.status, 0);
  EXPECT_TRUE(Contains(run.output, path.string())) << run.output;
  EXPECT_TRUE(Contains(run.output, "pchDeviceId")) << run.output;
  std::filesystem::remove(path);
}

TEST(BoardsimErrors, UnknownBoardAndArgumentsAreRefusedWithUsage) {
  const CommandRun board = Boardsim("--board no-such-board");
  EXPECT_EQ(board.status, 2);
  EXPECT_TRUE(Contains(board.output, "no-such-board")) << board.output;
  EXPECT_TRUE(Contains(board.output, "usage:")) << board.output;
  const CommandRun argument = Boardsim("--frobnicate");
  EXPECT_EQ(argument.status, 2);
  EXPECT_TRUE(Contains(argument.output, "--frobnicate")) << argument.output;
  const CommandRun missing = Boardsim("--board");
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(Contains(missing.output, "--board needs a value")) << missing.output;
}

}  // namespace

TEST(BoardsimReport, ControlCharactersFromABoardFileAreShownEscaped) {
  struct Shown {
    const char *json;    // as the board file gives it
    const char *report;  // as the text report must show it
  };
  const Shown cases[] = {
      {R"("name": "bench\nFORGED LINE")", "Board bench\\nFORGED LINE"},
      {R"("description": "\u001b[2Jcleared")", ": \\x1B[2Jcleared (engine: native)"},
      {R"("smbiosSlots": [{"instance": 1, "handle": "0x0027", "designation": "SLOT\r\tONE\u009b"},
                          {"instance": 2, "handle": "0x0028", "designation": "caf\u00e9 \u0007"},
                          {"instance": 3, "handle": "0x0029", "designation": "x8"}])",
       "SLOT\\r\\tONE\\u009B"},
      {"", "caf\u00e9 \\x07"},
  };
  std::string fields;
  for (const auto &c : cases)
    if (*c.json) fields += std::string(", ") + c.json;
  const auto path = WriteBoardFile("control_characters", std::string(R"({"base": "shipped")") + fields + "}");
  const CommandRun run = Boardsim("--engine native --board " + path.string());
  std::filesystem::remove(path);
  ASSERT_EQ(run.status, 0) << run.output;
  for (const auto &c : cases) EXPECT_TRUE(Contains(run.output, c.report)) << c.report << " in\n" << run.output;
  EXPECT_FALSE(Contains(run.output, "\nFORGED")) << run.output;
  const auto raw = std::count_if(run.output.begin(), run.output.end(),
                                 [](char c) { return c != '\n' && static_cast<unsigned char>(c) < 0x20; });
  EXPECT_EQ(raw, 0) << "raw control characters in\n" << run.output;
  EXPECT_FALSE(Contains(run.output, "\u009b")) << run.output;
}
