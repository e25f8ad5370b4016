// Each simulated boot starts the driver afresh, as a power cycle would: what
// one boot cached (the PCH series, the port locator) must not leak into the
// next boot in the same process.
#include <string>
#include <vector>

#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

constexpr const char *kDeviceIdRead = "R16 0xE00F8002 = ";

class ModuleState : public ScenarioTest {
 protected:
  Boot &BootThroughReadyToBoot(const std::string &board) {
    Boot &boot = StartBoot(board);
    boot.RunDefaultSequence();
    return boot;
  }
};

TEST_P(ModuleState, HSeriesBootAfterAnLpBootReadsTheDeviceIdAndSetsTheTexts) {
  {
    Boot &lp = BootThroughReadyToBoot("lp-pch");
    EXPECT_TRUE(lp.Services().SetupWrites().empty());
    EXPECT_EQ(CountStartingWith(lp.GetTrace().RegisterLines(), kDeviceIdRead), 1u);
    ExpectNoProblems();
  }
  Boot &h = BootThroughReadyToBoot("shipped");
  EXPECT_EQ(StartingWith(h.GetTrace().RegisterLines(), kDeviceIdRead),
            std::vector<std::string>{"R16 0xE00F8002 = 0xA305"});
  ASSERT_EQ(h.Services().SetupWrites().size(), 2u);
  EXPECT_EQ(h.Services().SetupWrites()[0].text, "VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM");
  ExpectNoProblems();
}

TEST_P(ModuleState, LpBootAfterAnHSeriesBootReadsTheDeviceIdAndNoPads) {
  BootThroughReadyToBoot("shipped");
  Boot &lp = BootThroughReadyToBoot("lp-pch");
  const auto dxeAccesses = StartingWith(lp.GetTrace().RegisterLines(), "R32 0xFD");
  EXPECT_EQ(StartingWith(lp.GetTrace().RegisterLines(), kDeviceIdRead),
            std::vector<std::string>{"R16 0xE00F8002 = 0x9D84"});
  EXPECT_TRUE(dxeAccesses.empty()) << dxeAccesses.front();
  EXPECT_TRUE(lp.Services().SetupWrites().empty());
  ExpectNoProblems();
}

TEST_P(ModuleState, PortLocatorFoundInOneBootIsLookedUpAgainInTheNext) {
  {
    Boot &first = BootThroughReadyToBoot("shipped");
    ASSERT_TRUE(first.QueryLanMacs().has_value());
  }
  // The next board has no port locator: a stale cached pointer would lead
  // into the previous boot's service table.
  Boot &second = BootThroughReadyToBoot("no-port-locator");
  const std::size_t mark = second.GetTrace().Mark();
  const auto result = second.QueryLanMacs();
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->status, EFI_SUCCESS);
  EXPECT_EQ(result->first.count, 0);
  EXPECT_EQ(result->second.count, 0);
  EXPECT_EQ(CountStartingWith(second.GetTrace().LinesSince(mark), "call BS.LocateProtocol(PORT_LOCATOR_PROTOCOL)"), 4u);
  ExpectNoProblems();
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(ModuleState);

}  // namespace
}  // namespace boardsim::testing
