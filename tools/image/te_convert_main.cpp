// te_convert: turns the linked BoardPei PE32 image into the TE image that
// executes in place from flash.
//
//   te_convert [--flash-address ADDRESS] INPUT.pe32 OUTPUT.te
//
// With --flash-address, the image must be linked so that its TE header
// belongs at ADDRESS. On any refusal nothing is written and the message says
// why.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "sim/image/te_converter.h"
#include "tools/files/input_file.h"
#include "tools/files/output_file.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: te_convert [--flash-address ADDRESS] INPUT.pe32 OUTPUT.te\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> paths;
  boardimage::TeOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--flash-address" && i + 1 < argc) {
      try {
        options.flashAddress = boardimage::ParseFlashAddress(argv[++i]);
      } catch (const boardimage::TeConversionError &error) {
        std::fprintf(stderr, "te_convert: --flash-address: %s\n", error.what());
        return 2;
      }
    } else if (!argument.starts_with("--")) {
      paths.push_back(argument);
    } else {
      return Usage();
    }
  }
  if (paths.size() != 2) return Usage();

  try {
    const auto te = boardimage::ConvertToTe(boardfiles::ReadInputFile(paths[0]), options);
    boardfiles::WriteOutputFile(paths[1], te);
  } catch (const boardfiles::FileError &error) {  // names its own file
    std::fprintf(stderr, "te_convert: %s\n", error.what());
    return 1;
  } catch (const std::exception &error) {
    std::fprintf(stderr, "te_convert: %s: %s\n", paths[0].c_str(), error.what());
    return 1;
  }
  return 0;
}
