#include "options.h"

#include <stdexcept>

namespace boardsim {

std::string Usage() {
  return "usage: boardsim [--board NAME|FILE] [--engine native|emulated] [--images DIR] [--modules DIR]\n"
         "                [--trace] [--json]\n"
         "       boardsim --list-boards\n"
         "       boardsim --dump-board NAME   (print a board as JSON, a starting point for a board file)\n"
         "\n"
         "Boots BoardPei and BoardDxe on a simulated board and reports what they did.\n"
         "  --board NAME|FILE  a named board (see --list-boards) or a JSON board file; default: shipped\n"
         "  --engine           emulated (default): the real images in a CPU emulator; native: host-built modules\n"
         "  --images DIR       folder holding BoardDxe.efi and BoardPei.te (emulated engine)\n"
         "  --modules DIR      folder holding BoardDxeHost.so and BoardPeiHost.so (native engine)\n"
         "  --trace            also print every register access and service call\n"
         "  --json             print the report as JSON\n";
}

Options ParseOptions(const std::vector<std::string> &arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string &argument = arguments[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= arguments.size()) throw std::invalid_argument(argument + " needs a value");
      return arguments[++i];
    };
    if (argument == "--board") {
      options.board = value();
    } else if (argument == "--engine") {
      options.engine = value();
      if (options.engine != "native" && options.engine != "emulated")
        throw std::invalid_argument("--engine must be native or emulated, not \"" + options.engine + "\"");
    } else if (argument == "--images") {
      options.images = value();
    } else if (argument == "--modules") {
      options.modules = value();
    } else if (argument == "--trace") {
      options.trace = true;
    } else if (argument == "--json") {
      options.json = true;
    } else if (argument == "--list-boards") {
      options.listBoards = true;
    } else if (argument == "--dump-board") {
      options.dumpBoard = value();
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else {
      throw std::invalid_argument("unknown argument \"" + argument + "\"");
    }
  }
  return options;
}

}  // namespace boardsim
