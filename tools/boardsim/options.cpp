#include "options.h"

#include <stdexcept>

namespace boardsim {

std::string Usage() {
  return "usage: boardsim [--board NAME|FILE] [--engine native|emulated] [--images DIR] [--modules DIR]\n"
         "                [--trace] [--json] [--gdb dxe|pei [--gdb-port N]]\n"
         "       boardsim --list-boards\n"
         "       boardsim --dump-board NAME   (print a board as JSON, a starting point for a board file)\n"
         "       boardsim --version [--images DIR]   (the version the images and firmware files carry)\n"
         "\n"
         "Boots BoardPei and BoardDxe on a simulated board and reports what they did.\n"
         "  --board NAME|FILE  a named board (see --list-boards) or a JSON board file; default: shipped\n"
         "  --engine           emulated (default): the real images in a CPU emulator; native: host-built modules\n"
         "  --images DIR       folder holding BoardDxe.efi and BoardPei.te (emulated engine)\n"
         "  --modules DIR      folder holding BoardDxeHost.so and BoardPeiHost.so (native engine)\n"
         "  --trace            also print every register access and service call\n"
         "  --json             print the report as JSON\n"
         "  --gdb dxe|pei      stop that module at its entry point and wait for gdb on 127.0.0.1 (emulated\n"
         "                     engine); the boot runs on as gdb continues it\n"
         "  --gdb-port N       the port gdb connects to; default 1234; 0: any free port (the line says which)\n";
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
    } else if (argument == "--gdb") {
      options.gdb = value();
      if (*options.gdb != "dxe" && *options.gdb != "pei")
        throw std::invalid_argument("--gdb must be dxe or pei, not \"" + *options.gdb + "\"");
    } else if (argument == "--gdb-port") {
      const std::string port = value();
      std::size_t used = 0;
      unsigned long number = 0;
      try {
        number = std::stoul(port, &used);
      } catch (const std::exception &) {
        used = 0;
      }
      if (used != port.size() || number > 65535)
        throw std::invalid_argument("--gdb-port must be a port number from 0 to 65535, not \"" + port + "\"");
      options.gdbPort = static_cast<std::uint16_t>(number);
    } else if (argument == "--list-boards") {
      options.listBoards = true;
    } else if (argument == "--dump-board") {
      options.dumpBoard = value();
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else {
      throw std::invalid_argument("unknown argument \"" + argument + "\"");
    }
  }
  if (options.gdb && options.engine != "emulated")
    throw std::invalid_argument("--gdb debugs the real images: it needs the emulated engine");
  return options;
}

}  // namespace boardsim
