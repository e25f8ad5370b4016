// The failure-injection sweep over the whole default boot: PEI with
// BoardPei, BoardDxe with its services arriving, ReadyToBoot, then every
// consumer of the PPI and the protocol. Each service call the boot makes is
// made to fail in turn (a copy to be skipped, a bridge lookup to answer a
// bogus bridge), and the boot must go on without a crash, a leak or any
// problem the injection does not itself explain.
#include <array>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/base/board_text.h"
#include "sim/base/status_names.h"
#include "sim/boot/boot_record.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

// The boot as the simulator runs it, with every consumer call path, judged
// against the board's expected outcome.
BootRecord RunWholeBoot(Boot &boot) {
  boot.RunDefaultSequence();
  BootRecord record;
  record.ppi = boot.CallPpiMembers();
  record.hook = boot.CallHookMembers();
  record.lan = boot.QueryLanMacs();
  RecordOutcome(boot, record);
  Judge(boot.Board(), record);
  return record;
}

std::vector<std::string> ScoreboardProblems(const BootRecord &record) {
  std::vector<std::string> texts;
  for (const auto &problem : record.scoreboard) texts.push_back(ProblemText(problem));
  return texts;
}

struct Injection {
  std::string service;
  unsigned nth = 0;
  std::uint64_t value = 0;  // a status, or the bridge a lookup answers

  std::string Describe() const {
    const std::string what = service == "PCD.Get32"    ? "bridge " + Hex(value, 4)
                             : service == "BS.CopyMem" ? std::string("skipped copy")
                                                       : StatusName(value);
    return service + " call " + std::to_string(nth) + " -> " + what;
  }
};

// Bridges a faulty port locator might name: nothing at all, a function
// that is no bridge (the host bridge slot, the PCH itself), and the bridge
// of another port.
constexpr std::uint64_t kBogusBridges[] = {0xFFFF, 0x0000, 0x00F8, 0x00E5};

// What each call of a service can be made to do wrong.
std::vector<std::uint64_t> FaultsFor(const std::string &service) {
  if (service == "PCD.Get32") return {std::begin(kBogusBridges), std::end(kBogusBridges)};
  if (service == "BS.CopyMem") return {0};
  return {EFI_DEVICE_ERROR};
}

// Problems the injection accounts for: a pool copy whose FreePool was made
// to fail stays allocated.
std::vector<std::string> Unexplained(const std::vector<std::string> &problems, const Injection &injection) {
  std::vector<std::string> left;
  bool leakExplained = false;
  for (const auto &problem : problems) {
    if (injection.service == "BS.FreePool" && !leakExplained && StartsWith(problem, "leak: ") &&
        problem.find("SMBIOS record copy") != std::string::npos) {
      leakExplained = true;
      continue;
    }
    left.push_back(problem);
  }
  return left;
}

class FaultSweep : public ScenarioTest {
 protected:
  // How often each service is called on a board's whole boot.
  std::map<std::string, unsigned, std::less<>> CallCounts(const BoardConfig &board) {
    Boot &boot = StartBoot(board);
    RunWholeBoot(boot);
    return boot.Failures().Counts();
  }

  // Runs the board's boot once per injection and reports every case whose
  // boot threw or left a problem. Returns the number of cases run.
  std::size_t Sweep(const BoardConfig &board) {
    std::size_t cases = 0;
    for (const auto &[service, count] : CallCounts(board)) {
      for (unsigned nth = 1; nth <= count; ++nth) {
        for (const std::uint64_t value : FaultsFor(service)) {
          const Injection injection{service, nth, value};
          SCOPED_TRACE(board.name + ": " + injection.Describe());
          RunCase(board, injection);
          ++cases;
        }
      }
    }
    return cases;
  }

  void RunCase(const BoardConfig &board, const Injection &injection) {
    BoardConfig faulty = board;
    faulty.failures.push_back({injection.service, injection.nth, injection.value});
    Boot &boot = StartBoot(std::move(faulty));
    BootRecord record;
    try {
      record = RunWholeBoot(boot);
    } catch (const std::exception &error) {
      FAIL() << "the boot stopped: " << error.what();
    }
    // The firmware did what the board's expected outcome says the failure leads to.
    EXPECT_EQ(ScoreboardProblems(record), std::vector<std::string>{});
    // The injection took place, once, in the planned service.
    std::vector<std::string> injected;
    for (const auto &line : boot.GetTrace().Calls())
      if (line.ends_with("(injected)")) injected.push_back(line);
    ASSERT_EQ(injected.size(), 1u);
    EXPECT_TRUE(StartsWith(injected[0], injection.service + "(")) << injected[0];
    EXPECT_EQ(Unexplained(boot.Problems(), injection), std::vector<std::string>{});
    EXPECT_EQ(boot.Dxe().PoolErrors(), std::vector<std::string>{});
  }
};

TEST_P(FaultSweep, EveryNamedBoardBootsWithoutProblems) {
  for (const auto &name : NamedBoards()) {
    SCOPED_TRACE("board " + name);
    Boot &boot = StartBoot(name);
    BootRecord record;
    ASSERT_NO_THROW(record = RunWholeBoot(boot));
    EXPECT_EQ(boot.Problems(), std::vector<std::string>{});
    EXPECT_EQ(ScoreboardProblems(record), std::vector<std::string>{});
    EXPECT_TRUE(boot.DxeStatus().has_value());
    EXPECT_TRUE(boot.PeiStatus().has_value());
  }
}

TEST_P(FaultSweep, DefaultBootCallsEveryServiceTheSweepMustCover) {
  // A sweep over fewer services would pass without proving anything: the
  // default boot reaches each of these.
  const auto counts = CallCounts(ShippedBoard());
  const std::map<std::string, unsigned, std::less<>> atLeast = {
      {"BS.InstallProtocolInterface", 1},
      {"BS.CreateEventEx", 1},
      {"BS.CreateEvent", 2},
      {"BS.RegisterProtocolNotify", 2},
      {"BS.LocateProtocol", 4},
      {"BS.CloseEvent", 3},
      {"BS.FreePool", 2},
      {"BS.CopyMem", 4},
      {"SETUP.SetString", 2},
      {"SMBIOS.ReadStructure", 2},
      {"SMBIOS.DeleteStructure", 2},
      {"PCD.Get32", 4},
      {"PEI.AllocatePool", 1},
      {"PEI.InstallPpi", 1},
      {"PEI.LocatePpi", 1},
      {"PCD.SetPointer", 1},
  };
  for (const auto &[service, minimum] : atLeast) {
    const auto found = counts.find(service);
    ASSERT_NE(found, counts.end()) << service << " is never called";
    EXPECT_GE(found->second, minimum) << service;
  }
}

TEST_P(FaultSweep, EveryServiceCallOfTheDefaultBootCanFail) {
  const std::size_t cases = Sweep(ShippedBoard());
  EXPECT_GE(cases, 40u);
}

TEST_P(FaultSweep, EveryServiceCallOfEachNamedBoardCanFail) {
  for (const auto &name : NamedBoards()) {
    if (name == "shipped") continue;  // swept above
    Sweep(NamedBoardOrFail(name));
  }
}

TEST_P(FaultSweep, SkippedCopyLeavesTheSlotZeroed) {
  // The slot is cleared before the copy: a copy that does nothing leaves a
  // zero address, never the caller's old bytes.
  for (unsigned nth = 1; nth <= 4; ++nth) {
    SCOPED_TRACE("copy " + std::to_string(nth) + " skipped");
    BoardConfig board = ShippedBoard();
    board.failures.push_back({"BS.CopyMem", nth, 0});
    Boot &boot = StartBoot(std::move(board));
    boot.RunDefaultSequence();
    const auto result = boot.QueryLanMacs();
    ASSERT_TRUE(result.has_value());
    ASSERT_EQ(result->first.count, 1);
    ASSERT_EQ(result->second.count, 3);
    std::vector<std::array<std::uint8_t, 6>> all = result->first.addresses;
    all.insert(all.end(), result->second.addresses.begin(), result->second.addresses.end());
    for (unsigned k = 0; k < all.size(); ++k) {
      const bool skipped = k + 1 == nth;
      EXPECT_EQ((all[k] == std::array<std::uint8_t, 6>{}), skipped) << "address " << k;
    }
    // The Command register is put back even so.
    for (std::uint8_t bus = 2; bus <= 5; ++bus) EXPECT_EQ(boot.Hardware().CommandRegister(bus), 0x06);
    ExpectNoProblems();
  }
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(FaultSweep);

}  // namespace
}  // namespace boardsim::testing
