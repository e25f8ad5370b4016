// Board files: what a firmware engineer writes, what the board becomes, and
// the messages a mistake earns.
#include "sim/board/board_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sim/base/board_text.h"
#include "sim/base/status_names.h"
#include "sim/board/board_config.h"
#include "sim/board/pch_gpio_layout.h"

namespace boardsim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The error a board file earns, as "field: problem".
std::string ErrorOf(const std::string &text) {
  try {
    ParseBoardJson(text, "boards/test.json");
  } catch (const BoardFileError &error) {
    EXPECT_EQ(error.Origin(), "boards/test.json");
    EXPECT_EQ(std::string(error.what()), "boards/test.json: " + error.Field() + ": " + error.Problem());
    return error.Field() + ": " + error.Problem();
  }
  ADD_FAILURE() << "accepted: " << text;
  return {};
}

TEST(BoardFile, EveryNamedBoardRoundTrips) {
  for (const std::string &name : NamedBoards()) {
    const BoardConfig board = NamedBoard(name).value();
    EXPECT_EQ(ParseBoardJson(BoardToJson(board), "dump"), board) << BoardToJson(board);
  }
}

TEST(BoardFile, UnusualValuesRoundTrip) {
  BoardConfig board = ShippedBoard();
  board.name = "odd";
  board.pads[0x030A0002] = {0xD, 0x84000302};  // not a plain input pad: written as dw0
  board.pads[0x03040005] = {0, InputPadDw0(1)};
  board.endpoints[3].bar0 = 0xC000000C;
  board.endpoints[3].bar0Upper = 0x12345678;
  board.pcdTokens[0xFFFFFFFF] = {.size = 4, .value = 0xFFFF};
  board.pcdTokens[0x18C] = {.size = 4, .value = 0x5AA500E4};
  board.pcdTokens[7] = {.size = 8, .value = 0x8000000000000001};
  board.peiPcdSizes[5] = 8;
  board.failures = {{"SMBIOS.ReadStructure", 2, 0x8000000000000017}, {"PEI.AllocatePool", 1, 0x800000000000000E}};
  board.smbiosService = false;
  EXPECT_EQ(ParseBoardJson(BoardToJson(board), "dump"), board) << BoardToJson(board);
}

TEST(BoardFile, BaseAndOverridesWithEveryNumberForm) {
  const BoardConfig board = ParseBoardJson(R"({
    "base": "x8",
    "pads": [
      {"pad": "0x030A0000", "level": 1},
      {"pad": {"group": "GPP_K", "index": 1}, "owner": 2, "level": 0},
      {"pad": 50987010, "dw0": "0x44000102"}
    ],
    "endpoints": [{"bus": "0x07", "bar0": 3489660928, "mac": [1, 2, 3, 4, 5, 6], "command": 0}],
    "bridges": [{"bdf": "0x00E0", "secondaryBus": 7, "subordinateBus": "0x07"}],
    "pcdTokens": [{"token": "0x18C", "bridge": "00:1C.0"}, {"token": 9, "size": 2, "value": "0xABCD"}],
    "failures": [{"service": "SMBIOS.ReadStructure", "status": "EFI_NOT_FOUND"},
                 {"service": "BS.LocateProtocol", "nth": 3, "status": "0x8000000000000007"}],
    "pcdPpi": false
  })",
                                           "boards/mine.json");

  EXPECT_EQ(board.name, "boards/mine.json");
  EXPECT_EQ(board.pchDeviceId, 0xA305);  // from the base
  ASSERT_EQ(board.pads.size(), 4u);      // the file's pads merge with the base's, pad by pad
  EXPECT_EQ(board.pads.at(0x030A0003), (PadState{0, 0x44000102u}));  // x8's pad 3, untouched
  EXPECT_EQ(board.pads.at(0x030A0000).dw0, 0x44000102u);
  EXPECT_EQ(board.pads.at(0x030A0001).owner, 2u);
  EXPECT_EQ(board.pads.at(0x030A0002).dw0, 0x44000102u);  // 50987010 == 0x030A0002
  ASSERT_EQ(board.endpoints.size(), 1u);
  EXPECT_EQ(board.endpoints[0].bus, 7);
  EXPECT_EQ(board.endpoints[0].bar0, 0xD0000000u);
  EXPECT_EQ(board.endpoints[0].vendorDevice, 0x15338086u);  // default
  EXPECT_EQ(board.endpoints[0].command, 0);
  EXPECT_EQ(board.endpoints[0].mac, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(board.bridges.at(0).bdf, 0x00E0);
  ASSERT_EQ(board.pcdTokens.size(), 2u);
  EXPECT_EQ(board.pcdTokens.at(0x18C), (PcdToken{.size = 4, .value = 0x00E0}));
  EXPECT_EQ(board.pcdTokens.at(9), (PcdToken{.size = 2, .value = 0xABCD}));
  ASSERT_EQ(board.failures.size(), 2u);
  EXPECT_EQ(board.failures[0].nth, 1u);
  EXPECT_EQ(board.failures[0].status, ParseStatus("EFI_NOT_FOUND"));
  EXPECT_EQ(board.failures[1].status, 0x8000000000000007u);
  EXPECT_FALSE(board.pcdPpi);
  EXPECT_TRUE(board.smbiosService);  // from the base
  EXPECT_EQ(board.smbiosSlots.size(), 3u);
}

TEST(BoardFile, PadsByGroupFollowTheBoardsSeries) {
  const BoardConfig board = ParseBoardJson(
      R"({"pchDeviceId": "0x9D84", "pads": [{"pad": {"group": "HVMOS", "index": 5}, "level": 1}]})", "lp.json");
  EXPECT_EQ(board.pads.count(0x040E0005), 1u);

  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": {"group": "HVMOS", "index": 0}, "level": 1}]})"),
            "pads[0].pad.group: no group \"HVMOS\" on the H-series PCH; its groups are GPP_A, GPP_B, GPP_C, GPP_D, "
            "GPP_E, GPP_F, GPP_G, GPP_H, GPP_I, GPP_J, GPP_K, GPD, VGPIO, SPI, AZA, CPU, JTAG");
  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": {"group": "GPP_K", "index": 24}, "level": 1}]})"),
            "pads[0].pad.index: expected an integer 0..23, got 24");
}

TEST(BoardFile, WrongTypesAndRangesNameTheFieldAndTheValue) {
  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": "0x030A0000", "level": 1}, {"pad": "0x030A0001", "level": 1},
                                 {"pad": "0x030A0002", "owner": "abc", "level": 1}]})"),
            "pads[2].owner: expected an integer 0..15, got \"abc\"");
  EXPECT_EQ(ErrorOf(R"({"pchDeviceId": 65536})"), "pchDeviceId: expected an integer 0..0xFFFF, got 65536");
  EXPECT_EQ(ErrorOf(R"({"pchDeviceId": -1})"), "pchDeviceId: expected an integer 0..0xFFFF, got -1");
  EXPECT_EQ(ErrorOf(R"({"pchDeviceId": "0xA30G"})"), "pchDeviceId: expected an integer 0..0xFFFF, got \"0xA30G\"");
  EXPECT_EQ(ErrorOf(R"({"endpoints": [{"bus": 2, "command": 1.5}]})"),
            "endpoints[0].command: expected an integer 0..255, got 1.5");
  EXPECT_EQ(ErrorOf(R"({"endpoints": [{"bus": 2, "mac": "02:4B:52:56:37"}]})"),
            "endpoints[0].mac: expected a MAC address (\"02:4B:52:56:37:01\", or a list of 6 bytes), got "
            "\"02:4B:52:56:37\"");
  EXPECT_EQ(ErrorOf(R"({"bridges": [{"bdf": "00:20.0", "secondaryBus": 1, "subordinateBus": 1}]})"),
            "bridges[0].bdf: expected a bus/device/function (\"00:1C.0\", or 0..0xFFFF), got \"00:20.0\"");
  EXPECT_EQ(ErrorOf(R"({"portLocator": "yes"})"), "portLocator: expected true or false, got \"yes\"");
  EXPECT_EQ(ErrorOf(R"({"pcdTokens": [{"token": 8, "size": 2, "bridge": "00:1C.0"}]})"),
            "pcdTokens[0].size: a bridge token holds 4 bytes");
  EXPECT_EQ(ErrorOf(R"({"pcdTokens": [{"token": 8, "size": 1, "value": 256}]})"),
            "pcdTokens[0].value: expected an integer 0..255, got 256");
  EXPECT_EQ(ErrorOf(R"({"pads": {"pad": 1}})"), "pads: expected a list, got {\"pad\":1}");
  EXPECT_EQ(ErrorOf(R"([1, 2])"), "(top level): expected an object, got [1,2]");
}

TEST(BoardFile, UnknownFieldsAreErrors) {
  EXPECT_EQ(ErrorOf(R"({"pchDeviceID": "0xA305"})"),
            "pchDeviceID: unknown field; the fields here are base, name, description, pchDeviceId, pads, bridges, "
            "endpoints, pcdTokens, smbiosSlots, setupStringService, smbiosService, portLocator, pcdPpi, peiPcdSizes, "
            "failures");
  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": "0x030A0000", "levle": 1}]})"),
            "pads[0].levle: unknown field; the fields here are pad, owner, level, dw0");
}

TEST(BoardFile, MissingAndContradictoryFields) {
  EXPECT_EQ(ErrorOf(R"({"endpoints": [{"bar0": "0xD0000000"}]})"), "endpoints[0].bus: missing");
  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": "0x030A0000"}]})"),
            "pads[0]: give the pad's \"owner\", its \"level\" (0 or 1) or its whole \"dw0\"");
  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": "0x030A0000", "level": 1, "dw0": 2}]})"),
            "pads[0]: give the pad's \"level\" (0 or 1) or its whole \"dw0\", not both");
  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": "0x030A0001", "level": 1}, {"pad": {"group": "GPP_K", "index": 1},
                                 "level": 0}]})"),
            "pads[1].pad: 0x030A0001 is already described by pads[0]");
}

TEST(BoardFile, ImpossibleBoardsAreRefused) {
  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": "0x030A0018", "level": 1}]})"),
            "pads[0].pad: 0x030A0018 is not a GPIO pad: GPP_K of the H series has 24 pads (0..23), not pad 24");
  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": "0x050A0000", "level": 1}]})"),
            "pads[0].pad: 0x050A0000 is not a GPIO pad: chipset id 5 is neither 3 (H series) nor 4 (LP series)");
  EXPECT_EQ(ErrorOf(R"({"base": "x9"})"),
            "base: unknown board \"x9\"; named boards: shipped, x8, no-riser, lp-pch, unknown-pch, foreign-owner, "
            "pad2-owned, lan-missing-controller, lan-foreign-device, lan-empty-bus, lan-command-00, lan-bar-type-bits, "
            "no-port-locator, no-pcd, pcd-upper-bits, pcd-name-8-bytes");
  EXPECT_EQ(ErrorOf(R"({"endpoints": [{"bus": 2, "bar0": "0xD0000000"}, {"bus": 2, "bar0": "0xD0100000"}]})"),
            "endpoints[1].bus: 02:00.0 is already taken by endpoints[0]");
  EXPECT_EQ(ErrorOf(R"({"endpoints": [{"bus": 2, "bar0": "0xD0000000", "bar0Upper": 1}]})"),
            "endpoints[0].bar0Upper: only a 64-bit BAR (bits 2..1 of bar0 = 10b) has an upper dword");
  EXPECT_EQ(ErrorOf(R"({"smbiosSlots": [{"instance": 1, "handle": 5}, {"instance": 2, "handle": 5}]})"),
            "smbiosSlots[1].handle: handle 0x0005 is already held by smbiosSlots[0]");
}

TEST(BoardFile, FailuresNeedAKnownServiceAndStatus) {
  EXPECT_EQ(ErrorOf(R"({"failures": [{"service": "SMBIOS.ReadStructure", "status": "EFI_NOT_FOUD"}]})"),
            "failures[0].status: unknown status name \"EFI_NOT_FOUD\"; expected one of EFI_SUCCESS, EFI_LOAD_ERROR, "
            "EFI_INVALID_PARAMETER, EFI_UNSUPPORTED, EFI_BUFFER_TOO_SMALL, EFI_DEVICE_ERROR, EFI_OUT_OF_RESOURCES, "
            "EFI_NOT_FOUND, EFI_WARN_UNKNOWN_GLYPH, or a number");
  EXPECT_THAT(ErrorOf(R"({"failures": [{"service": "SMBIOS.ReadStructur", "status": 1}]})"),
              HasSubstr("failures[0].service: unknown service \"SMBIOS.ReadStructur\"; services: BS."));
  EXPECT_EQ(ErrorOf(R"({"failures": [{"service": "SMBIOS.ReadStructure", "nth": 0, "status": 1}]})"),
            "failures[0].nth: expected an integer 1..0xFFFFFFFF, got 0");
}

TEST(BoardFile, MalformedJsonNamesLineAndColumn) {
  try {
    // The parser notices the broken literal where it ends, after "tru".
    ParseBoardJson("{\n  \"base\": \"x8\",\n  \"pcdPpi\": tru\n}\n", "boards/broken.json");
    FAIL() << "malformed JSON accepted";
  } catch (const BoardFileError &error) {
    EXPECT_EQ(error.Field(), "line 3, column 16");
    EXPECT_THAT(error.what(), HasSubstr("boards/broken.json: line 3, column 16: malformed JSON: "));
  }
}

// Files written to hurt the reader: each is refused with the place it went
// wrong, and no message grows with the file.
TEST(BoardFile, HostileFilesAreRefusedByPlace) {
  const std::size_t deep = 5000;
  EXPECT_EQ(ErrorOf(std::string(deep, '[') + std::string(deep, ']')),
            "[0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0]: nested more than 16 levels deep; a board file needs no "
            "more than 3");
  std::string objects;
  for (std::size_t i = 0; i < deep; ++i) objects += R"({"pads":)";
  EXPECT_THAT(ErrorOf(objects + "1" + std::string(deep, '}')), HasSubstr("pads.pads.pads"));

  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": "0x030A0000", "level": 1, "level": 0}]})"),
            "pads[0].level: this field is given twice");
  EXPECT_EQ(ErrorOf(R"({"endpoints": [{"bus": 2}, {"": 1}]})"), "endpoints[1]: a field with an empty name");
  EXPECT_EQ(ErrorOf(R"({"": 1})"), "(top level): a field with an empty name");

  // A numeric pad of the other series is refused as the group form is.
  EXPECT_EQ(ErrorOf(R"({"pads": [{"pad": "0x040A0000", "level": 1}]})"),
            "pads[0].pad: 0x040A0000 is not a GPIO pad: chipset id 4 is the LP series', but the board's PCH is of "
            "the H series (chipset id 3)");
  EXPECT_THAT(ErrorOf(R"({"pchDeviceId": "0x9D84", "pads": [{"pad": 50987010, "level": 1}]})"),
              HasSubstr("pads[0].pad: 0x030A0002 is not a GPIO pad: chipset id 3 is the H series'"));

  // Long tokens are cut to 40 characters wherever they are echoed.
  const std::string huge(1 << 20, 'x');
  for (const std::string &text :
       {"{\"name\": \"" + huge + "\t\"}", "{\"base\": \"" + huge + "\"}", "{\"" + huge + "\": 1}",
        "{\"failures\": [{\"service\": \"" + huge + "\", \"status\": 1}]}",
        "{\"pads\": [{\"pad\": {\"group\": \"" + huge + "\", \"index\": 0}, \"level\": 0}]}"}) {
    const std::string error = ErrorOf(text);
    EXPECT_LT(error.size(), 600u) << error.substr(0, 600);
    EXPECT_THAT(error, HasSubstr(std::string(39, 'x') + "\u2026"));
    EXPECT_THAT(error, ::testing::Not(HasSubstr(std::string(41, 'x'))));
  }
}

TEST(BoardFile, PathsThatAreNoBoardFilesAreNamedAsSuch) {
  const auto problem = [](const std::string &path) {
    try {
      LoadBoardFile(path);
    } catch (const BoardFileError &error) {
      return std::string(error.what());
    }
    return std::string("loaded");
  };
  EXPECT_EQ(problem("/dev/zero"),
            "/dev/zero: not a regular file (a character device); give the path of a board file (JSON)");
  EXPECT_EQ(problem("/"), "/: is a directory; give the path of a board file (JSON)");
}

TEST(BoardFile, LoadsFromDiskAndNamesAMissingFile) {
  const auto path = std::filesystem::temp_directory_path() / "sim_hw_board_file_test.json";
  {
    std::ofstream file(path);
    file << R"({"base": "no-riser", "name": "bench board", "pcdPpi": false})";
  }
  const BoardConfig board = LoadBoardFile(path.string());
  std::filesystem::remove(path);
  EXPECT_EQ(board.name, "bench board");
  EXPECT_FALSE(board.pcdPpi);
  EXPECT_EQ(board.pads, NamedBoard("no-riser")->pads);

  try {
    LoadBoardFile("/nonexistent/board.json");
    FAIL() << "a missing file loaded";
  } catch (const BoardFileError &error) {
    EXPECT_THAT(error.what(), HasSubstr("/nonexistent/board.json: cannot open: No such file or directory"));
  }
}

TEST(StatusNames, NamesAndValues) {
  EXPECT_EQ(StatusName(0), "EFI_SUCCESS");
  EXPECT_EQ(StatusName(0x8000000000000002), "EFI_INVALID_PARAMETER");
  EXPECT_EQ(StatusName(0x800000000000000E), "EFI_NOT_FOUND");
  EXPECT_EQ(StatusName(1), "EFI_WARN_UNKNOWN_GLYPH");
  EXPECT_EQ(StatusName(0x8000000000000017), "0x8000000000000017");
  EXPECT_EQ(StatusName(0x80000002), "0x80000002");  // a 32-bit value is not widened here
  for (const std::string &name : StatusNames()) EXPECT_EQ(StatusName(ParseStatus(name).value()), name);
  EXPECT_EQ(ParseStatus("EFI_NOT_FOUD"), std::nullopt);
}

TEST(BoardText, PrintableEscapesWhatATerminalWouldObey) {
  const std::pair<std::string, std::string> cases[] = {
      {"KRV7-DM3TQA", "KRV7-DM3TQA"},
      {"a\nb\r\tc", "a\\nb\\r\\tc"},
      {"\x1b[31m\x7f", "\\x1B[31m\\x7F"},
      {"caf\xc3\xa9 \xe2\x80\xa6", "caf\xc3\xa9 \xe2\x80\xa6"},  // UTF-8 stays
      {"\xc2\x9b"
       "2J",
       "\\u009B2J"},               // CSI as a C1 control
      {"\xff\xc3", "\\xFF\\xC3"},  // not UTF-8
      {"\xc0\xaf", "\\xC0\\xAF"},  // overlong '/'
      {std::string("nul\0", 4), "nul\\x00"},
  };
  for (const auto &[text, shown] : cases) EXPECT_EQ(Printable(text), shown) << shown;
}

}  // namespace
}  // namespace boardsim
