// image_size: the size report of firmware images (`make size`). Prints each
// image's bytes against its flash budget, its section table and the version
// it carries; for a firmware file (.ffs), its bytes and the version in its
// version section. Exits with status 1 if an image is over its budget.
//
//   image_size IMAGE|FILE.ffs...
#include <cstdio>
#include <exception>
#include <filesystem>

#include "sim/image/image_headers.h"
#include "sim/image/size_report.h"
#include "tools/files/input_file.h"
#include "tools/fv/version_report.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: image_size IMAGE|FILE.ffs...\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    try {
      const auto file = boardfiles::ReadInputFile(argv[i]);
      const auto name = std::filesystem::path(argv[i]).filename().string();
      if (name.ends_with(".ffs")) {
        std::printf("%s: firmware file, %zu bytes, %s\n", name.c_str(), file.size(),
                    boardfv::DescribeVersion(file, name).c_str());
        continue;
      }
      const auto budget = boardimage::BudgetOf(name);
      std::fputs(boardimage::FormatSizeReport(name, file, boardimage::ParseImage(file), budget).c_str(), stdout);
      std::printf("  %s\n", boardfv::DescribeVersion(file, name).c_str());
      if (budget && file.size() > *budget) status = 1;
    } catch (const boardfiles::FileError &error) {  // names its own file
      std::fprintf(stderr, "image_size: %s\n", error.what());
      status = 1;
    } catch (const std::exception &error) {
      std::fprintf(stderr, "image_size: %s: %s\n", argv[i], error.what());
      status = 1;
    }
  }
  return status;
}
