// boardsim: boots the board's firmware modules on a simulated board and
// shows what they did.
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "diff_command.h"
#include "fault_report.h"
#include "gdb_boot.h"
#include "options.h"
#include "sim/board/board_file.h"
#include "sim/boot/boot_report.h"
#include "sim/engine/emulated/emulated_engine.h"
#include "sim/engine/engines.h"
#include "tools/files/input_file.h"
#include "tools/fv/version_report.h"

namespace boardsim {

BoardConfig ChooseBoard(const std::string &board) {
  if (auto named = NamedBoard(board)) return *named;
  if (std::filesystem::exists(board)) return LoadBoardFile(board);
  std::string known;
  for (const auto &name : NamedBoards()) known += (known.empty() ? "" : ", ") + name;
  throw std::invalid_argument("--board: \"" + board + "\" is neither a named board (" + known + ") nor a board file");
}

}  // namespace boardsim

namespace {

using namespace boardsim;

std::unique_ptr<Engine> ChooseEngine(const Options &options) {
  return MakeEngine(options.engine, options.engine == "native" ? options.modules : options.images);
}

// The version each image and firmware file in the images folder says it is,
// read from its bytes: what the board would run, not what this program was
// built with.
int PrintVersions(const Options &options) {
  const std::filesystem::path images =
      options.images.empty() ? DefaultFirmwareDirectory() : std::filesystem::path(options.images);
  int found = 0;
  for (const char *name : {"BoardPei.te", "BoardPei.ffs", "BoardDxe.efi", "BoardDxe.ffs"}) {
    const auto path = images / name;
    if (!std::filesystem::exists(path)) continue;
    std::cout << name << ": " << boardfv::DescribeVersion(boardfiles::ReadInputFile(path.string()), name) << "\n";
    ++found;
  }
  if (found == 0) throw std::runtime_error("--version: " + images.string() + " holds no image or firmware file");
  return 0;
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
  if (options.version) return PrintVersions(options);
  if (options.dumpBoard) {
    std::cout << BoardToJson(ChooseBoard(*options.dumpBoard));
    return 0;
  }
  const BoardConfig board = ChooseBoard(options.board);
  if (options.gdb) return RunUnderGdb(options, board);
  const auto engine = ChooseEngine(options);
  const BootReport report = DescribeBoot(RunBoot(board, *engine));
  std::cout << (options.json ? ReportJson(report, options.trace) : ReportText(report, options.trace));
  if (!options.json) {
    const std::filesystem::path images =
        options.images.empty() ? DefaultFirmwareDirectory() : std::filesystem::path(options.images);
    for (const auto &fault : RecordedFaults(*engine)) std::cout << "\n" << FaultReport(fault, images);
  }
  return BootFailed(report) ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (!arguments.empty() && arguments[0] == "diff") try {
      return boardsim::RunDiff({arguments.begin() + 1, arguments.end()});
    } catch (const std::invalid_argument &error) {
      std::cerr << "boardsim: " << error.what() << "\n\n" << boardsim::DiffUsage();
      return 2;
    } catch (const std::exception &error) {
      std::cerr << "boardsim: " << error.what() << "\n";
      return 2;
    }
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
