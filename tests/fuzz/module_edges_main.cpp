// Replays boot inputs on the native engine, without libFuzzer, and says which
// edges of the host-built modules they reached. It takes the place of
// libFuzzer's coverage callbacks: it keeps each library's edge counters and
// PC table as the library registers them, and after every boot notes the
// counters of BoardDxeHost and BoardPeiHost that moved (a module's counters
// go back to zero when it is restarted for the next boot). Prints one line
// per edge: "MODULE OFFSET hit|unhit", OFFSET from the module's load base.
//   module_edges INPUT_FILE_OR_DIR...
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "sim/engine/native/native_engine.h"
#include "tests/fuzz/fuzzed_boot.h"

namespace {

struct Registered {
  std::vector<std::pair<std::uint8_t *, std::uint8_t *>> counters;
  std::vector<std::pair<const std::uintptr_t *, const std::uintptr_t *>> tables;
};

// Libraries register from their constructors, before this program's own.
Registered &Libraries() {
  static Registered registered;
  return registered;
}

std::vector<std::filesystem::path> Inputs(int argc, char **argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (!std::filesystem::is_directory(path)) {
      inputs.push_back(path);
      continue;
    }
    for (const auto &entry : std::filesystem::directory_iterator(path))
      if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  return inputs;
}

}  // namespace

extern "C" {
void __sanitizer_cov_8bit_counters_init(std::uint8_t *begin, std::uint8_t *end) {
  Libraries().counters.emplace_back(begin, end);
}
void __sanitizer_cov_pcs_init(const std::uintptr_t *begin, const std::uintptr_t *end) {
  Libraries().tables.emplace_back(begin, end);
}
// Comparison and indirect-call tracing feed only libFuzzer's value profile.
void __sanitizer_cov_trace_cmp1(std::uint8_t, std::uint8_t) {}
void __sanitizer_cov_trace_cmp2(std::uint16_t, std::uint16_t) {}
void __sanitizer_cov_trace_cmp4(std::uint32_t, std::uint32_t) {}
void __sanitizer_cov_trace_cmp8(std::uint64_t, std::uint64_t) {}
void __sanitizer_cov_trace_const_cmp1(std::uint8_t, std::uint8_t) {}
void __sanitizer_cov_trace_const_cmp2(std::uint16_t, std::uint16_t) {}
void __sanitizer_cov_trace_const_cmp4(std::uint32_t, std::uint32_t) {}
void __sanitizer_cov_trace_const_cmp8(std::uint64_t, std::uint64_t) {}
void __sanitizer_cov_trace_switch(std::uint64_t, std::uint64_t *) {}
void __sanitizer_cov_trace_pc_indir(std::uintptr_t) {}
}

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s INPUT_FILE_OR_DIR...\n", argv[0]);
    return 2;
  }
  const auto engine = boardsim::MakeNativeEngine(boardsim::DefaultModuleDirectory());
  std::map<std::size_t, std::vector<bool>> hits;  // by library, per edge
  for (const auto &input : Inputs(argc, argv)) {
    std::ifstream file(input, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    if (!file.eof() && file.fail()) {
      std::fprintf(stderr, "cannot read %s\n", input.c_str());
      return 1;
    }
    const auto result = boardsim::fuzz::RunFuzzedBoot(bytes, *engine);
    for (const auto &violation : result.violations)
      std::fprintf(stderr, "%s: invariant broken: %s\n", input.c_str(), violation.c_str());
    if (!result.violations.empty()) return 1;
    const auto &counters = Libraries().counters;
    for (std::size_t i = 0; i < counters.size(); ++i) {
      auto &seen = hits[i];
      seen.resize(static_cast<std::size_t>(counters[i].second - counters[i].first));
      for (std::size_t edge = 0; edge < seen.size(); ++edge) seen[edge] = seen[edge] || counters[i].first[edge] != 0;
    }
  }
  const auto &libraries = Libraries();
  for (std::size_t i = 0; i < libraries.counters.size() && i < libraries.tables.size(); ++i) {
    const auto [begin, end] = libraries.tables[i];
    Dl_info info{};
    if (begin == end || dladdr(reinterpret_cast<const void *>(begin[0]), &info) == 0) continue;
    const std::string name = std::filesystem::path(info.dli_fname).stem();
    if (name != "BoardDxeHost" && name != "BoardPeiHost") continue;
    const auto base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    for (std::size_t edge = 0; 2 * edge < static_cast<std::size_t>(end - begin); ++edge)
      std::printf("%s 0x%zx %s\n", name.c_str(), static_cast<std::size_t>(begin[2 * edge] - base),
                  edge < hits[i].size() && hits[i][edge] ? "hit" : "unhit");
  }
  return 0;
}
