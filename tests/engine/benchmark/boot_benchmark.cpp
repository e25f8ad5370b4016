// Times full simulated boots of the shipped board on each engine: the
// default sequence and every consumer call, as boardsim runs them. Prints
// the median and the slowest boot; with --max-median-ms, fails if an
// engine's median is above it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "sim/boot/boot.h"
#include "sim/engine/engines.h"

namespace {

using namespace boardsim;

struct Options {
  int boots = 50;
  std::optional<double> maxMedianMs;
  std::vector<std::string> engines;
};

Options Parse(int argc, char **argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(argument + " needs a value");
      return argv[++i];
    };
    if (argument == "--boots")
      options.boots = std::stoi(value());
    else if (argument == "--max-median-ms")
      options.maxMedianMs = std::stod(value());
    else if (argument == "--engine")
      options.engines.push_back(value());
    else
      throw std::invalid_argument("unknown argument \"" + argument +
                                  "\" (--boots N, --max-median-ms MS, --engine NAME)");
  }
  if (options.boots < 1) throw std::invalid_argument("--boots must be at least 1");
  if (options.engines.empty()) options.engines = AvailableEngines();
  return options;
}

// One boot as boardsim runs it; returns its wall time in milliseconds.
double TimeOneBoot(Engine &engine) {
  const auto start = std::chrono::steady_clock::now();
  Boot boot(ShippedBoard(), engine);
  boot.RunDefaultSequence();
  boot.CallPpiMembers();
  boot.CallHookMembers();
  const auto lan = boot.QueryLanMacs();
  const auto stop = std::chrono::steady_clock::now();
  if (!boot.Problems().empty() || !lan || lan->second.count != 3)
    throw std::runtime_error("the benchmark boot did not run as the shipped board does");
  return std::chrono::duration<double, std::milli>(stop - start).count();
}

}  // namespace

int main(int argc, char **argv) {
  try {
    const Options options = Parse(argc, argv);
    bool withinLimit = true;
    for (const auto &name : options.engines) {
      const auto engine = MakeEngine(name);
      TimeOneBoot(*engine);  // warm-up: page faults, lazy initialisation
      std::vector<double> times;
      for (int i = 0; i < options.boots; ++i) times.push_back(TimeOneBoot(*engine));
      std::sort(times.begin(), times.end());
      const double median = times[times.size() / 2];
      std::printf("%-9s %d boots: median %.3f ms, fastest %.3f ms, slowest %.3f ms\n", name.c_str(), options.boots,
                  median, times.front(), times.back());
      if (options.maxMedianMs && median > *options.maxMedianMs) {
        std::printf("%-9s median %.3f ms is above the limit of %.3f ms\n", name.c_str(), median, *options.maxMedianMs);
        withinLimit = false;
      }
    }
    return withinLimit ? 0 : 1;
  } catch (const std::exception &error) {
    std::fprintf(stderr, "boot_benchmark: %s\n", error.what());
    return 2;
  }
}
