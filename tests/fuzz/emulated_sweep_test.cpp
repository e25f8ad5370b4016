// The boot harness's checks on the real images: a seeded random sweep of
// fuzzed boots on the emulated engine. BOARD_SWEEP_BOOTS sets how many (the
// default keeps the sweep near a minute in the sanitizer build) and
// BOARD_SWEEP_SEED where the seeds start; a failure names the seed, which
// replays the same boot. Then the boot harness's saved inputs on both
// engines: the host-built modules and the real images must leave the same
// trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "sim/boot/boot_diff.h"
#include "sim/boot/boot_record.h"
#include "sim/boot/boot_report.h"
#include "sim/boot/seen_outcome.h"
#include "sim/engine/engines.h"
#include "sim/scoreboard/expected_outcome.h"
#include "tests/fuzz/fuzzed_boot.h"

namespace boardsim::fuzz {
namespace {

constexpr std::uint64_t kDefaultBoots = 3000;

std::uint64_t FromEnvironment(const char *name, std::uint64_t fallback) {
  const char *text = std::getenv(name);
  return text == nullptr ? fallback : std::strtoull(text, nullptr, 0);
}

// The bytes of one sweep boot: as many as a fuzzed boot can use, random.
std::vector<std::uint8_t> BytesOfSeed(std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<std::uint8_t> bytes(256);
  for (auto &byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

TEST(EmulatedSweep, RandomBootsKeepEveryInvariant) {
  const std::uint64_t boots = FromEnvironment("BOARD_SWEEP_BOOTS", kDefaultBoots);
  const std::uint64_t first = FromEnvironment("BOARD_SWEEP_SEED", 1);
  const auto engine = MakeEngine("emulated");
  std::uint64_t ran = 0;
  std::uint64_t failed = 0;
  for (std::uint64_t seed = first; seed < first + boots; ++seed) {
    FuzzedBootResult result = RunFuzzedBoot(BytesOfSeed(seed), *engine);
    ran += result.ran ? 1 : 0;
    // The same board booted in the default order must do what the scoreboard expects too.
    if (result.ran) {
      const BootRecord record = RunBoot(result.board, *engine);
      for (const auto &problem : JudgedProblems(ExpectedOutcome(result.board), SeenOutcome(record)))
        result.violations.push_back("default boot: Problem: " + ProblemText(problem));
    }
    if (result.violations.empty()) continue;
    ++failed;
    for (const auto &violation : result.violations) ADD_FAILURE() << "seed " << seed << ": " << violation;
    if (failed >= 5) break;
  }
  std::printf(
      "%llu seeds from %llu, %llu boots run (the rest describe no buildable board), %llu broke an invariant or "
      "left another outcome than the scoreboard's\n",
      static_cast<unsigned long long>(boots), static_cast<unsigned long long>(first),
      static_cast<unsigned long long>(ran), static_cast<unsigned long long>(failed));
  // Most random bytes must describe a board the sweep can boot.
  EXPECT_GT(ran, boots / 2);
}

// The boot harness's saved inputs, in name order: the corpus, then the
// regressions.
std::vector<std::filesystem::path> SavedBootInputs() {
  std::vector<std::filesystem::path> files;
  for (const char *folder : {"corpus/boot", "regressions/boot"}) {
    const std::filesystem::path path = std::filesystem::path(BOARD_FUZZ_SOURCE_DIR) / folder;
    if (!std::filesystem::is_directory(path)) continue;
    std::vector<std::filesystem::path> inFolder;
    for (const auto &entry : std::filesystem::directory_iterator(path))
      if (entry.is_regular_file()) inFolder.push_back(entry.path());
    std::sort(inFolder.begin(), inFolder.end());
    files.insert(files.end(), inFolder.begin(), inFolder.end());
  }
  return files;
}

std::vector<std::uint8_t> FileBytes(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first lines of a difference, enough to see where the engines part.
std::string FirstLines(const std::string &text, std::size_t lines) {
  std::size_t end = 0;
  for (std::size_t i = 0; i < lines && end != std::string::npos; ++i) end = text.find('\n', end + 1);
  return end == std::string::npos ? text : text.substr(0, end) + "\n  ...";
}

// BOARD_CORPUS_FILES bounds how many inputs are booted (two boots and a
// trace diff each); the default covers a corpus of a few hundred files.
constexpr std::uint64_t kDefaultCorpusFiles = 1000;

TEST(CorpusOnBothEngines, EverySavedBootInputLeavesTheSameTrace) {
  const auto files = SavedBootInputs();
  ASSERT_FALSE(files.empty()) << "no saved boot inputs under " << BOARD_FUZZ_SOURCE_DIR;
  const std::uint64_t most = FromEnvironment("BOARD_CORPUS_FILES", kDefaultCorpusFiles);
  const auto native = MakeEngine("native");
  const auto emulated = MakeEngine("emulated");
  std::uint64_t booted = 0;
  for (const auto &file : files) {
    if (booted == most) break;
    const auto bytes = FileBytes(file);
    FuzzedBootResult onNative = RunFuzzedBoot(bytes, *native, true);
    FuzzedBootResult onEmulated = RunFuzzedBoot(bytes, *emulated, true);
    ++booted;
    ASSERT_EQ(onNative.ran, onEmulated.ran) << file;
    for (const auto &violation : onEmulated.violations) ADD_FAILURE() << file << " (emulated): " << violation;
    if (!onNative.ran) continue;
    const BootDiff diff = DiffBoots(DescribeBoot(*onNative.record), DescribeBoot(*onEmulated.record));
    if (!diff.Same())
      ADD_FAILURE() << file << ": the engines differ\n" << FirstLines(DiffText(diff, "native", "emulated"), 24);
  }
  std::printf("%llu of %zu saved boot inputs booted on both engines\n", static_cast<unsigned long long>(booted),
              files.size());
}

}  // namespace
}  // namespace boardsim::fuzz
