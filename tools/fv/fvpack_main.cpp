// fvpack: the board's modules as firmware files, and their insertion into
// the firmware volumes of an existing flash image.
//
//   fvpack ffs pei|dxe IMAGE OUTPUT.ffs
//   fvpack inf pei|dxe DIRECTORY
//   fvpack insert IMAGE.fd OUTPUT.fd --into VOLUME-GUID[@ADDRESS] FILE.ffs [--into ...]
//   fvpack list IMAGE
//
// `ffs` wraps BoardPei.te or BoardDxe.efi in its file. `inf` writes the
// module's binary INF and its depex beside it. `insert` puts each file into
// the free space of the volume named VOLUME-GUID (in its extended header),
// wherever it lies in the image, also inside LZMA-compressed sections; a TE
// image is rebased for its place, for the volume running at ADDRESS. On any
// refusal nothing is written and the message says what is wrong. `list`
// prints every volume in the image and the files in each.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/files/input_file.h"
#include "tools/files/output_file.h"
#include "tools/fv/board_modules.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/image_patch.h"
#include "tools/fv/insert_report.h"
#include "tools/fv/volume_list.h"

namespace {

using boardfv::FvError;

int Usage(bool asked = false) {
  std::fprintf(asked ? stdout : stderr,
               "usage: fvpack ffs pei|dxe IMAGE OUTPUT.ffs\n"
               "       fvpack inf pei|dxe DIRECTORY\n"
               "       fvpack insert IMAGE.fd OUTPUT.fd --into VOLUME-GUID[@ADDRESS] FILE.ffs [--into ...]\n"
               "       fvpack list IMAGE\n");
  return asked ? 0 : 2;
}

const boardfv::BoardModule &Module(const std::string &name) {
  const auto *module = boardfv::FindBoardModule(name);
  if (module == nullptr) throw FvError("unknown module '" + name + "' (pei or dxe)");
  return *module;
}

boardfv::Insertion ParseInsertion(const std::string &target, const std::string &filePath) {
  boardfv::Insertion insertion;
  const auto at = target.find('@');
  const auto guid = boardfv::Guid::Parse(target.substr(0, at));
  if (!guid) throw FvError("--into '" + target + "': not a volume GUID (8-4-4-4-12 hex digits)");
  insertion.volume = *guid;
  if (at != std::string::npos) {
    insertion.volumeAddress = boardfv::ParseAddress(target.substr(at + 1));
    if (!insertion.volumeAddress) {
      throw FvError("--into '" + target + "': '" + target.substr(at + 1) +
                    "' is not an address (0x and up to 16 hex digits, or decimal digits)");
    }
  }
  insertion.file = boardfiles::ReadInputFile(filePath);
  boardfv::RequireSingleFile(insertion.file, filePath);
  return insertion;
}

int Run(const std::vector<std::string> &args) {
  if (args.size() == 4 && args[0] == "ffs") {
    boardfiles::WriteOutputFile(args[3], boardfv::BuildModuleFile(Module(args[1]), boardfiles::ReadInputFile(args[2])));
    return 0;
  }
  if (args.size() == 3 && args[0] == "inf") {
    const auto &module = Module(args[1]);
    const std::string base = args[2] + "/" + std::string(module.baseName);
    const std::string inf = boardfv::ModuleInf(module);
    const auto depex = boardfv::ModuleDepex(module);
    // The INF names the depex beside it: both replaced, or neither.
    const boardfiles::OutputFile pair[] = {
        {base + ".inf", {reinterpret_cast<const std::uint8_t *>(inf.data()), inf.size()}}, {base + ".depex", depex}};
    boardfiles::WriteOutputFiles(pair);
    return 0;
  }
  if (args.size() >= 6 && args[0] == "insert" && (args.size() - 3) % 3 == 0) {
    std::vector<boardfv::Insertion> insertions;
    for (std::size_t i = 3; i < args.size(); i += 3) {
      if (args[i] != "--into") return Usage();
      insertions.push_back(ParseInsertion(args[i + 1], args[i + 2]));
    }
    const auto image = boardfiles::ReadInputFile(args[1]);
    boardfv::RequireTargetsPresent(image, insertions);
    std::vector<boardfv::Placement> placements;
    boardfiles::WriteOutputFile(args[2], boardfv::InsertIntoImage(image, insertions, &placements));
    std::fputs(boardfv::FormatPlacements(placements).c_str(), stdout);
    return 0;
  }
  if (args.size() == 2 && args[0] == "list") {
    std::fputs(boardfv::FormatVolumeList(boardfv::ListVolumes(boardfiles::ReadInputFile(args[1]))).c_str(), stdout);
    return 0;
  }
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) return Usage(true);
  return Usage();
}

}  // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const std::exception &error) {
    std::fprintf(stderr, "fvpack: %s\n", error.what());
    return 1;
  }
}
