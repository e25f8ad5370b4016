// The boot harness's invariants on the real images: a seeded random sweep of
// fuzzed boots on the emulated engine. BOARD_SWEEP_BOOTS sets how many (the
// default keeps the sweep near a minute in the sanitizer build) and
// BOARD_SWEEP_SEED where the seeds start; a failure names the seed, which
// replays the same boot.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "sim/boot/boot_record.h"
#include "sim/engine/engines.h"
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

// A controller the LAN MAC query copies from through an unassigned BAR
// reads plain memory at 0x5400, which no board description holds: such a
// board's MAC lists cannot be expected, so its default boot is not judged.
bool Judgeable(const BoardConfig &board) {
  for (const PciEndpoint &endpoint : board.endpoints)
    if (endpoint.vendorDevice == 0x15338086 && (endpoint.bar0 & ~0xFu) == 0) return false;
  return true;
}

TEST(EmulatedSweep, RandomBootsKeepEveryInvariant) {
  const std::uint64_t boots = FromEnvironment("BOARD_SWEEP_BOOTS", kDefaultBoots);
  const std::uint64_t first = FromEnvironment("BOARD_SWEEP_SEED", 1);
  const auto engine = MakeEngine("emulated");
  std::uint64_t ran = 0;
  std::uint64_t failed = 0;
  std::uint64_t judged = 0;
  for (std::uint64_t seed = first; seed < first + boots; ++seed) {
    FuzzedBootResult result = RunFuzzedBoot(BytesOfSeed(seed), *engine);
    ran += result.ran ? 1 : 0;
    // The same board booted in the default order must do what the scoreboard expects.
    if (result.ran && Judgeable(result.board)) {
      ++judged;
      for (const auto &problem : RunBoot(result.board, *engine).scoreboard)
        result.violations.push_back("default boot: Problem: " + ProblemText(problem));
    }
    if (result.violations.empty()) continue;
    ++failed;
    for (const auto &violation : result.violations) ADD_FAILURE() << "seed " << seed << ": " << violation;
    if (failed >= 5) break;
  }
  std::printf(
      "%llu seeds from %llu, %llu boots run (the rest describe no buildable board), %llu judged by the scoreboard, "
      "%llu broke an invariant\n",
      static_cast<unsigned long long>(boots), static_cast<unsigned long long>(first),
      static_cast<unsigned long long>(ran), static_cast<unsigned long long>(judged),
      static_cast<unsigned long long>(failed));
  // Most random bytes must describe a board the sweep can boot.
  EXPECT_GT(ran, boots / 2);
}

}  // namespace
}  // namespace boardsim::fuzz
