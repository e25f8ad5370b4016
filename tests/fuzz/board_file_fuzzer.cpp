// Board files: the JSON reader and the board checks. Any text either becomes
// a board that passes the checks, builds its hardware and reads back the same
// from its own dump, or is refused with a message of bounded size.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/board/board_checks.h"
#include "sim/board/board_config.h"
#include "sim/board/board_file.h"
#include "sim/hw/hardware_model.h"
#include "tests/fuzz/fuzz_check.h"

using namespace boardsim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  BoardConfig board;
  try {
    board = ParseBoardJson(text, "fuzz.json");
  } catch (const BoardFileError &error) {
    // The longest fixed text (the list of services or status names) is
    // about 1 KiB; echoed tokens are clipped.
    if (std::string(error.what()).size() > 2048)
      fuzz::Violated("a message of " + std::to_string(std::string(error.what()).size()) + " bytes");
    return 0;
  }
  if (const auto problems = CheckBoard(board); !problems.empty())
    fuzz::Violated("accepted a board with a problem: " + problems.front().field + ": " + problems.front().problem);
  Trace trace;
  HardwareModel hardware(board, trace);
  if (ParseBoardJson(BoardToJson(board), "dump") != board) fuzz::Violated("the board's dump reads back differently");
  return 0;
}
