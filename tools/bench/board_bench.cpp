// board_bench: measures the shipped board's figures (`make bench`), prints
// them beside the accepted baseline and writes them as JSON.
//
//   board_bench --images DIR --baseline FILE --out FILE [--boots N]
//
// To accept new figures, copy the written file over the baseline.
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "tools/bench/bench_figures.h"
#include "tools/bench/bench_table.h"
#include "tools/files/input_file.h"
#include "tools/files/output_file.h"

namespace {

// The baseline is a page of JSON.
constexpr std::uint64_t kBaselineLimit = std::uint64_t{1} << 20;

}  // namespace

int main(int argc, char **argv) {
  try {
    std::filesystem::path images;
    std::filesystem::path baselineFile;
    std::filesystem::path outFile;
    int boots = 2000;
    for (int i = 1; i < argc; ++i) {
      const std::string argument = argv[i];
      if (i + 1 >= argc) throw std::invalid_argument(argument + " needs a value");
      const std::string value = argv[++i];
      if (argument == "--images")
        images = value;
      else if (argument == "--baseline")
        baselineFile = value;
      else if (argument == "--out")
        outFile = value;
      else if (argument == "--boots")
        boots = std::stoi(value);
      else
        throw std::invalid_argument("unknown argument \"" + argument +
                                    "\" (--images DIR, --baseline FILE, --out FILE, --boots N)");
    }
    if (images.empty() || outFile.empty()) throw std::invalid_argument("--images and --out are needed");
    if (boots < 1) throw std::invalid_argument("--boots must be at least 1");

    nlohmann::ordered_json figures;
    figures["images"] = boardbench::ImageFigures(images);
    const auto boot = boardbench::BootFigures(images);
    figures["instructions"] = boot["instructions"];
    figures["register_accesses"] = boot["register_accesses"];
    figures["boots_per_second"] = boardbench::SpeedFigures(images, boots);

    nlohmann::ordered_json baseline = nlohmann::ordered_json::object();
    if (!baselineFile.empty() && !std::filesystem::exists(baselineFile)) {
      std::printf("no baseline at %s yet: nothing to compare with\n", baselineFile.c_str());
    } else if (!baselineFile.empty()) {
      const std::string text = boardfiles::ReadInputText(baselineFile.string(), kBaselineLimit);
      try {
        baseline = nlohmann::ordered_json::parse(text);
      } catch (const nlohmann::json::exception &error) {
        throw std::runtime_error(baselineFile.string() + " is not JSON: " + error.what());
      }
    }
    std::fputs(boardbench::FormatTable(figures, baseline).c_str(), stdout);
    boardfiles::WriteOutputText(outFile.string(), figures.dump(2) + "\n");
    std::printf("written to %s (accept: cp %s %s)\n", outFile.c_str(), outFile.c_str(),
                baselineFile.empty() ? "bench/baseline.json" : baselineFile.c_str());
    return 0;
  } catch (const std::exception &error) {
    std::fprintf(stderr, "board_bench: %s\n", error.what());
    return 2;
  }
}
