// image_coverage's inputs treated as hostile: damaged linker maps and block
// files are refused by line and field, sizes cannot make it loop over 4 G
// addresses, and objdump runs without a shell.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/coverage/linker_map.h"
#include "tools/coverage/recorded_blocks.h"
#include "tools/process/program_output.h"

namespace {

namespace fs = std::filesystem;
using namespace boardcoverage;
using boardprocess::ProgramOutput;
using ::testing::HasSubstr;

constexpr const char *kBase = " Preferred load address is 0000000140000000\n";
constexpr const char *kText = " 0001:00000000 00000100H .text                   CODE\n";

struct MapCase {
  const char *what;
  std::string text;
  const char *refusal;  // empty: read, with symbol `first`
  const char *first;
};

TEST(CoverageInputs, DamagedLinkerMapsAreRefusedByLineAndField) {
  const fs::path path = fs::temp_directory_path() / ("coverage_map_" + std::to_string(getpid()) + ".map");
  const std::string base = kBase, text = kText;
  const MapCase cases[] = {
      {"a good map", base + text + " 0001:00000010       ?Entry@@YAXXZ        0000000140001010 f a.obj\n", "", "Entry"},
      {"a decorated name without @@ (looped forever)",
       base + text + " 0001:00000010       ?Entry               0000000140001010 f a.obj\n", "", "Entry"},
      {"the only code symbol lies past .text (an empty symbol table)",
       base + text + " 0001:00000200       Constant             0000000140001200   a.obj\n",
       "has no code symbol inside .text", ""},
      {"a .text contribution that ends past 4 GiB",
       base + " 0001:00000010 FFFFFFFFH .text                   CODE\n" +
           " 0001:00000010       Entry                0000000140001010 f a.obj\n",
       ":2: a .text contribution that ends past 4 GiB", ""},
      {"an address wider than 64 bits",
       base + text + " 0001:00000010       Entry                10000000140001010 f a.obj\n",
       ":3: address '10000000140001010' is not a hexadecimal number of at most 16 digits", ""},
      {"a symbol below the load address",
       base + text + " 0001:00000010       Entry                0000000000001010 f a.obj\n",
       ":3: the symbol's address is not within 4 GiB above the load address", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(path) << c.text;
    try {
      const LinkerMap map = ReadLinkerMap(path);
      EXPECT_STREQ(c.refusal, "");
      ASSERT_FALSE(map.symbols.empty());
      EXPECT_EQ(map.symbols.front().name, c.first);
      EXPECT_EQ(map.codeRva, 0x1000u);
    } catch (const std::runtime_error &error) {
      EXPECT_STRNE(c.refusal, "") << error.what();
      EXPECT_THAT(error.what(), HasSubstr(c.refusal));
    }
  }
  fs::remove(path);
}

struct BlockCase {
  const char *what;
  std::string line;
  const char *refusal;  // empty: read
  unsigned marked;      // code bytes (of 16 at RVA 0x1000) marked as run
};

TEST(CoverageInputs, BlockFilesAreReadByFieldAndBoundedByTheCode) {
  const BlockCase cases[] = {
      {"a block inside the code", "s\tBoardDxe\t1004\t4\n", "", 4},
      {"a block of FFFFFFFF bytes (looped over 4 G addresses)", "s\tBoardDxe\t1008\tFFFFFFFF\n", "", 8},
      {"a block that starts before the code", "s\tBoardDxe\tFF0\t14\n", "", 4},
      {"a block past the code", "s\tBoardDxe\tFFFFFFFF\tFFFFFFFF\n", "", 0},
      {"a negative RVA (was taken as 2^64 - 16)", "s\tBoardDxe\t-10\t4\n", "blocks.txt:1: RVA '-10' is not", 0},
      {"a size that is no number", "s\tBoardDxe\t1000\tzz\n", "blocks.txt:1: size 'zz' is not", 0},
      {"a size wider than 32 bits", "s\tBoardDxe\t1000\t100000000\n", "blocks.txt:1: size '100000000' is not", 0},
      {"a missing field", "s\tBoardDxe\t1000\n", "blocks.txt:1: not scenario, image, RVA, size", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Blocks blocks;
    try {
      ParseBlocks(c.line, "blocks.txt", blocks);
      EXPECT_STREQ(c.refusal, "");
    } catch (const std::runtime_error &error) {
      EXPECT_STRNE(c.refusal, "") << error.what();
      EXPECT_THAT(error.what(), HasSubstr(c.refusal));
      continue;
    }
    std::vector<bool> ran(16, false);
    for (const auto &[rva, size] : blocks["BoardDxe"]["s"]) MarkRan(ran, 0x1000, rva, size);
    EXPECT_EQ(static_cast<unsigned>(std::count(ran.begin(), ran.end(), true)), c.marked);
  }
}

TEST(CoverageInputs, ProgramsRunWithoutAShell) {
  // A folder name that would end a quoted shell word and run a command.
  const fs::path folder = fs::temp_directory_path() / ("coverage it's; touch injected " + std::to_string(getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "image.efi") << "bytes";
  EXPECT_EQ(ProgramOutput({"cat", (folder / "image.efi").string()}, 1024), "bytes");
  EXPECT_FALSE(fs::exists("injected"));
  EXPECT_THAT(
      [&] {
        ProgramOutput({"cat", (folder / "missing").string()}, 1024);
      },
      ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("cat failed (exit status 1)")));
  EXPECT_THAT(
      [&] {
        ProgramOutput({"head", "-c", "4096", "/dev/zero"}, 1024);
      },
      ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("printed more than 1024 bytes")));
  EXPECT_THAT(
      [&] {
        ProgramOutput({"sleep", "10"}, 1024, std::chrono::milliseconds(200));
      },
      ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("sleep ran longer than 200 ms")));
  EXPECT_THAT([&] { ProgramOutput({"no-such-objdump"}, 1024); },
              ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("cannot run no-such-objdump")));
  fs::remove_all(folder);
}

}  // namespace
