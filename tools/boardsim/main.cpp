// boardsim: boots the board's firmware modules on a simulated board and
// shows what they did.
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "gdb_boot.h"
#include "options.h"
#include "sim/board/board_file.h"
#include "sim/boot/boot_report.h"
#include "sim/engine/engines.h"

namespace {

using namespace boardsim;

BoardConfig ChooseBoard(const std::string &board) {
  if (auto named = NamedBoard(board)) return *named;
  if (std::filesystem::exists(board)) return LoadBoardFile(board);
  std::string known;
  for (const auto &name : NamedBoards()) known += (known.empty() ? "" : ", ") + name;
  throw std::invalid_argument("--board: \"" + board + "\" is neither a named board (" + known + ") nor a board file");
}

std::unique_ptr<Engine> ChooseEngine(const Options &options) {
  return MakeEngine(options.engine, options.engine == "native" ? options.modules : options.images);
}

int Run(const Options &options) {
  if (options.help) {
    std::cout << Usage();
    return 0;
  }
  if (options.listBoards) {
    for (const auto &name : NamedBoards()) std::cout << name << ": " << NamedBoard(name)->description << "\n";
    return 0;
  }
  if (options.dumpBoard) {
    std::cout << BoardToJson(ChooseBoard(*options.dumpBoard));
    return 0;
  }
  const BoardConfig board = ChooseBoard(options.board);
  if (options.gdb) return RunUnderGdb(options, board);
  const auto engine = ChooseEngine(options);
  const BootReport report = DescribeBoot(RunBoot(board, *engine));
  std::cout << (options.json ? ReportJson(report, options.trace) : ReportText(report, options.trace));
  return BootFailed(report) ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return Run(boardsim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc)));
  } catch (const std::invalid_argument &error) {
    std::cerr << "boardsim: " << error.what() << "\n\n" << boardsim::Usage();
    return 2;
  } catch (const std::exception &error) {
    std::cerr << "boardsim: " << error.what() << "\n";
    return 1;
  }
}
