// The real images and the host-built modules are the same program: on every
// named board, a whole boot with every consumer call leaves the same trace
// on both engines, line for line. The one value that truly differs is the
// size of the PPI descriptor BoardPei allocates (three pointers).
#include <gtest/gtest.h>

#include "sim/boot.h"
#include "sim/engines.h"

namespace boardsim::testing {
namespace {

std::vector<std::string> WholeBootTrace(const BoardConfig &board, Engine &engine) {
  Boot boot(board, engine);
  boot.RunDefaultSequence();
  boot.CallPpiMembers();
  boot.CallHookMembers();
  boot.QueryLanMacs();
  std::vector<std::string> lines = boot.GetTrace().Lines();
  const std::string descriptor =
      "call PEI.AllocatePool(" + std::to_string(3 * boot.PeiMachine().Memory().PointerSize()) + " bytes)";
  for (auto &line : lines)
    if (line.rfind(descriptor, 0) == 0) line.replace(0, descriptor.size(), "call PEI.AllocatePool(descriptor)");
  return lines;
}

class EngineEquivalence : public ::testing::TestWithParam<std::string> {};

TEST_P(EngineEquivalence, WholeBootTracesMatchLineForLine) {
  const auto board = NamedBoard(GetParam());
  ASSERT_TRUE(board.has_value());
  const auto native = MakeEngine("native");
  const auto emulated = MakeEngine("emulated");
  const auto expected = WholeBootTrace(*board, *native);
  const auto actual = WholeBootTrace(*board, *emulated);
  EXPECT_EQ(actual, expected);
}

INSTANTIATE_TEST_SUITE_P(Boards, EngineEquivalence, ::testing::ValuesIn(NamedBoards()),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                           std::string name = info.param;
                           for (auto &c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace boardsim::testing
