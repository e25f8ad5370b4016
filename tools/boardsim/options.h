// The simulator's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct Options {
  std::string board = "shipped";  // a named board or a board file
  bool trace = false;
  bool json = false;
  std::string engine = "emulated";
  std::string images;              // folder of BoardDxe.efi / BoardPei.te (emulated engine)
  std::string modules;             // folder of the host-built modules (native engine)
  std::optional<std::string> gdb;  // "dxe" or "pei": serve gdb for that phase's module
  std::uint16_t gdbPort = 1234;
  bool listBoards = false;
  std::optional<std::string> dumpBoard;
  bool help = false;
  bool version = false;  // print the version each image and firmware file carries
};

// Parses the arguments after the program name; throws std::invalid_argument
// with a message that names the argument at fault.
Options ParseOptions(const std::vector<std::string> &arguments);

std::string Usage();

}  // namespace boardsim
