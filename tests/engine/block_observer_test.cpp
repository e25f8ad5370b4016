// A program watching the blocks of image code (the emulated fuzzing harness
// counting them for its fuzzer) sees each one by its image and its RVA, from
// both machines of a boot, and nothing once it stops watching.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "sim/board/board_config.h"
#include "sim/boot/boot_record.h"
#include "sim/engine/emulated/image_coverage.h"
#include "sim/engine/engines.h"
#include "tests/engine/engine_fixture.h"

namespace boardsim::testing {
namespace {

std::set<std::pair<std::string, std::uint32_t>> seen;

void Remember(std::string_view image, std::uint32_t rva, std::uint32_t) { seen.emplace(image, rva); }

bool InCode(const emulated::ImageFile &image, std::uint32_t rva) {
  for (const auto &section : image.headers.sections)
    if (section.Executable() && rva >= section.virtualAddress && rva - section.virtualAddress < section.virtualSize)
      return true;
  return false;
}

TEST_F(EngineTest, BlockObserverSeesEveryImageBlockByImageAndRvaUntilItStops) {
  const auto engine = MakeEngine("emulated");
  seen.clear();
  emulated::SetBlockObserver(&Remember);
  RunBoot(ShippedBoard(), *engine);
  emulated::SetBlockObserver(nullptr);

  const auto pei = ImageOf(Phase::Pei);
  const auto dxe = ImageOf(Phase::Dxe);
  // Each entry point starts a block: the RVA is from the image's base, not
  // from where the driver was loaded.
  EXPECT_TRUE(seen.count({"BoardPei", pei->headers.entryPoint}));
  EXPECT_TRUE(seen.count({"BoardDxe", dxe->headers.entryPoint}));
  for (const auto &[image, rva] : seen)
    EXPECT_TRUE(InCode(image == "BoardPei" ? *pei : *dxe, rva)) << image << "+" << std::hex << rva;

  const auto watched = seen.size();
  RunBoot(ShippedBoard(), *engine);
  EXPECT_EQ(seen.size(), watched);
}

}  // namespace
}  // namespace boardsim::testing
