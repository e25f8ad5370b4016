// Scenario tests: one simulated boot per test, on each engine under test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/boot/boot.h"
#include "sim/engine/engines.h"

namespace boardsim::testing {

// The engines every scenario runs on.
std::vector<std::string> EnginesUnderTest();

// A named board; fails the test if there is no such board.
BoardConfig NamedBoardOrFail(const std::string &name);

// A fixture whose parameter is the engine name. Each test starts its own boot.
class ScenarioTest : public ::testing::TestWithParam<std::string> {
 protected:
  Boot &StartBoot(BoardConfig board, BootOptions options = {});
  Boot &StartBoot(const std::string &board) { return StartBoot(NamedBoardOrFail(board)); }
  Boot &CurrentBoot() { return *boot_; }
  // Every trace line of the kinds register access and service call.
  std::vector<std::string> CallsAndAccesses() const;
  // Fails the test if the boot saw unexpected calls or accesses, pool misuse or leaks.
  void ExpectNoProblems() const;
  void TearDown() override;

 private:
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<Boot> boot_;
};

std::string EngineTestName(const ::testing::TestParamInfo<std::string> &info);

}  // namespace boardsim::testing

// Runs every test of a ScenarioTest-derived suite on each engine.
#define BOARD_SCENARIOS_ON_EVERY_ENGINE(Suite)                                                           \
  INSTANTIATE_TEST_SUITE_P(Engines, Suite, ::testing::ValuesIn(::boardsim::testing::EnginesUnderTest()), \
                           ::boardsim::testing::EngineTestName)
