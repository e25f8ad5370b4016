#include "tests/support/scenario.h"

#include "sim/board/board_config.h"
#include "sim/engine/emulated/image_coverage.h"

namespace boardsim::testing {

std::vector<std::string> EnginesUnderTest() { return AvailableEngines(); }

BoardConfig NamedBoardOrFail(const std::string &name) {
  auto board = NamedBoard(name);
  if (!board) {
    ADD_FAILURE() << "no named board \"" << name << "\"";
    return ShippedBoard();
  }
  return *board;
}

Boot &ScenarioTest::StartBoot(BoardConfig board, BootOptions options) {
  boot_.reset();
  // What the images run from here on counts for this scenario (when image
  // coverage is being recorded).
  if (const auto *test = ::testing::UnitTest::GetInstance()->current_test_info())
    emulated::SetCoverageScenario(std::string(test->test_suite_name()) + "." + test->name());
  engine_ = MakeEngine(GetParam());
  boot_ = std::make_unique<Boot>(std::move(board), *engine_, options);
  return *boot_;
}

std::vector<std::string> ScenarioTest::CallsAndAccesses() const {
  std::vector<std::string> lines;
  for (const auto &entry : boot_->GetTrace().Entries())
    if (entry.kind == TraceEntry::Kind::Call || entry.kind == TraceEntry::Kind::Read ||
        entry.kind == TraceEntry::Kind::Write)
      lines.push_back(entry.ToString());
  return lines;
}

void ScenarioTest::ExpectNoProblems() const {
  ASSERT_NE(boot_, nullptr);
  EXPECT_EQ(boot_->Problems(), std::vector<std::string>{});
}

void ScenarioTest::TearDown() {
  boot_.reset();
  engine_.reset();
}

std::string EngineTestName(const ::testing::TestParamInfo<std::string> &info) { return info.param; }

}  // namespace boardsim::testing
