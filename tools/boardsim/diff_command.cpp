#include "diff_command.h"

#include <iostream>
#include <stdexcept>

#include "options.h"
#include "sim/boot/boot_diff.h"
#include "sim/engine/engines.h"

namespace boardsim {

BoardConfig ChooseBoard(const std::string &board);  // main.cpp

std::string DiffUsage() {
  return "usage: boardsim diff [--board A [--board B]] [--engine A [--engine B]] [--images A [--images B]]\n"
         "                    [--modules DIR]\n"
         "Boots twice and shows what differs: the outcome first, then the trace. An option given once\n"
         "holds for both boots; given twice, its first value is the first boot's. Exit 1 when the boots\n"
         "differ, 0 when they do not.\n";
}

namespace {

struct Side {
  std::string board = "shipped";
  std::string engine = "emulated";
  std::string images;
};

std::string Name(const Side &side) {
  return side.board + " (engine " + side.engine + (side.images.empty() ? "" : ", images " + side.images) + ")";
}

}  // namespace

int RunDiff(const std::vector<std::string> &arguments) {
  std::vector<std::string> boards, engines, images;
  std::string modules;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string &argument = arguments[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= arguments.size()) throw std::invalid_argument("diff: " + argument + " needs a value");
      return arguments[++i];
    };
    if (argument == "--board") {
      boards.push_back(value());
    } else if (argument == "--engine") {
      engines.push_back(value());
      if (engines.back() != "native" && engines.back() != "emulated")
        throw std::invalid_argument("diff: --engine must be native or emulated, not \"" + engines.back() + "\"");
    } else if (argument == "--images") {
      images.push_back(value());
    } else if (argument == "--modules") {
      modules = value();
    } else {
      throw std::invalid_argument("diff: unknown argument \"" + argument + "\"");
    }
  }
  for (const auto *list : {&boards, &engines, &images})
    if (list->size() > 2) throw std::invalid_argument("diff: an option is given at most twice (once for each boot)");
  Side sides[2];
  for (unsigned s = 0; s < 2; ++s) {
    if (!boards.empty()) sides[s].board = boards[std::min<std::size_t>(s, boards.size() - 1)];
    if (!engines.empty()) sides[s].engine = engines[std::min<std::size_t>(s, engines.size() - 1)];
    if (!images.empty()) sides[s].images = images[std::min<std::size_t>(s, images.size() - 1)];
  }
  BootReport reports[2];
  for (unsigned s = 0; s < 2; ++s) {
    const BoardConfig board = ChooseBoard(sides[s].board);
    const auto engine = MakeEngine(sides[s].engine, sides[s].engine == "native" ? modules : sides[s].images);
    reports[s] = DescribeBoot(RunBoot(board, *engine));
  }
  const BootDiff diff = DiffBoots(reports[0], reports[1]);
  std::cout << DiffText(diff, Name(sides[0]), Name(sides[1]));
  return diff.Same() ? 0 : 1;
}

}  // namespace boardsim
