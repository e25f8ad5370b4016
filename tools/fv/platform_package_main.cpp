// platform_package: the board's package declaration, and the check of the
// package the build writes.
//
//   platform_package dec DIRECTORY     writes DIRECTORY/KrvBoardPkg.dec
//   platform_package check DIRECTORY   reads KrvBoardPkg.dec, BoardPei.inf and
//                                      BoardDxe.inf there, with the images and
//                                      depexes they name, and says what is wrong
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/files/input_file.h"
#include "tools/files/output_file.h"
#include "tools/fv/package_check.h"
#include "tools/fv/platform_package.h"

namespace {

std::string ReadText(const std::string &path) {
  const auto bytes = boardfiles::ReadInputFile(path, std::uint64_t{1} << 20);
  return {bytes.begin(), bytes.end()};
}

int Run(const std::vector<std::string> &args) {
  if (args.size() == 2 && args[0] == "dec") {
    boardfiles::WriteOutputText(args[1] + "/" + std::string(boardfv::kPackageName) + ".dec", boardfv::PackageDec());
    return 0;
  }
  if (args.size() == 2 && args[0] == "check") {
    const std::string dir = args[1] + "/";
    std::vector<boardfv::ModuleFiles> modules;
    for (const auto *module : {&boardfv::kBoardPei, &boardfv::kBoardDxe}) {
      const std::string base = dir + std::string(module->baseName);
      modules.push_back({module, ReadText(base + ".inf"),
                         boardfiles::ReadInputFile(dir + std::string(module->imageFileName)),
                         boardfiles::ReadInputFile(base + ".depex")});
    }
    const auto problems =
        boardfv::CheckPlatformPackage(ReadText(dir + std::string(boardfv::kPackageName) + ".dec"), modules);
    for (const auto &problem : problems) std::fprintf(stderr, "platform_package: %s\n", problem.c_str());
    return problems.empty() ? 0 : 1;
  }
  std::fprintf(stderr, "usage: platform_package dec DIRECTORY\n       platform_package check DIRECTORY\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return Run({argv + 1, argv + argc});
  } catch (const std::exception &error) {
    std::fprintf(stderr, "platform_package: %s\n", error.what());
    return 1;
  }
}
