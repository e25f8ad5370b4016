// frame_table IMAGE OUT: writes the .debug_frame section for the functions of
// IMAGE, an x64 PE32+ image linked with /debug:dwarf (see frame_table.h).
#include <exception>
#include <iostream>

#include "sim/image/byte_reader.h"
#include "tools/files/input_file.h"
#include "tools/files/output_file.h"
#include "tools/symbols/frame_table.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::cerr << "usage: frame_table IMAGE OUT\n";
    return 2;
  }
  try {
    const std::vector<std::uint8_t> image = boardfiles::ReadInputFile(argv[1]);
    const auto frames = boardsymbols::ReadFunctionFrames(image);
    boardfiles::WriteOutputFile(argv[2], boardsymbols::EncodeDebugFrame(frames));
  } catch (const std::exception &error) {
    std::cerr << "frame_table: " << argv[1] << ": " << error.what() << "\n";
    return 1;
  }
  return 0;
}
