// The real images and the host-built modules are the same program: on every
// named board, and with each service call of the shipped board's boot made
// to fail in turn, a whole boot with every consumer call leaves the same
// trace on both engines, line for line, and hands its callers the same
// answers. The one value that truly differs is the size of the PPI
// descriptor BoardPei allocates (three pointers).
#include <gtest/gtest.h>

#include <map>

#include "sim/base/board_text.h"
#include "sim/board/board_config.h"
#include "sim/boot/boot.h"
#include "sim/engine/engines.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

std::string Bytes(const std::vector<std::uint8_t> &bytes) {
  std::string text;
  for (const auto byte : bytes) text += Hex(byte, 2).substr(2);
  return text;
}

std::string Answer(const std::optional<std::uint64_t> &answer) { return answer ? Hex(*answer, 16) : "empty"; }

// The trace of a whole boot, followed by what the callers got back: the
// entry statuses, every member answer (booleans as the whole value the
// engine returned) and the LAN MAC query's buffers.
std::vector<std::string> WholeBoot(const BoardConfig &board, Engine &engine) {
  Boot boot(board, engine);
  boot.RunDefaultSequence();
  const auto ppi = boot.CallPpiMembers();
  const auto hook = boot.CallHookMembers();
  const auto lan = boot.QueryLanMacs();
  std::vector<std::string> lines = boot.GetTrace().Lines();
  const std::string descriptor =
      "call PEI.AllocatePool(" + std::to_string(3 * boot.PeiMachine().Memory().PointerSize()) + " bytes)";
  for (auto &line : lines)
    if (line.rfind(descriptor, 0) == 0) line.replace(0, descriptor.size(), "call PEI.AllocatePool(descriptor)");

  lines.push_back("outcome: PEI " + Answer(boot.PeiStatus()) + ", DXE " + Answer(boot.DxeStatus()));
  if (ppi) {
    for (std::size_t member = 0; member < ppi->members.size(); ++member)
      lines.push_back("outcome: PPI member " + std::to_string(member) + " = " + Answer(ppi->members[member]));
    lines.push_back("outcome: PPI BoardInfo info " + Bytes({ppi->info.begin(), ppi->info.end()}) + ", flag " +
                    Hex(ppi->flag, 2));
  }
  if (hook)
    for (std::size_t member = 0; member < hook->members.size(); ++member)
      lines.push_back("outcome: protocol member " + std::to_string(member) + " = " + Answer(hook->members[member]));
  if (lan)
    lines.push_back("outcome: LAN MAC query " + Hex(lan->status, 16) + ", buffer " + Bytes(lan->buffer) + ", out " +
                    Bytes(lan->out));
  return lines;
}

class EngineEquivalence : public ::testing::TestWithParam<std::string> {};

TEST_P(EngineEquivalence, WholeBootTracesMatchLineForLine) {
  const auto board = NamedBoard(GetParam());
  ASSERT_TRUE(board.has_value());
  const auto native = MakeEngine("native");
  const auto emulated = MakeEngine("emulated");
  const auto expected = WholeBoot(*board, *native);
  const auto actual = WholeBoot(*board, *emulated);
  EXPECT_EQ(actual, expected);
}

// What a failed call of each service answers: an error status, or for the
// bridge lookup a bridge that is none (and one of another port); an injected
// copy copies nothing.
std::vector<std::uint64_t> FaultsFor(const std::string &service) {
  if (service == "PCD.Get32") return {0xFFFF, 0x00E5};
  if (service == "BS.CopyMem") return {0};
  return {EFI_DEVICE_ERROR};
}

TEST(EngineEquivalenceUnderFailures, EveryFailedCallLeavesTheSameTraceOnBothEngines) {
  const auto native = MakeEngine("native");
  const auto emulated = MakeEngine("emulated");
  std::map<std::string, unsigned, std::less<>> counts;
  {
    Boot boot(ShippedBoard(), *native);
    boot.RunDefaultSequence();
    boot.CallPpiMembers();
    boot.CallHookMembers();
    boot.QueryLanMacs();
    counts = boot.Failures().Counts();
  }
  ASSERT_GE(counts.size(), 10u);
  unsigned boots = 0;
  for (const auto &[service, count] : counts)
    for (unsigned nth = 1; nth <= count; ++nth)
      for (const std::uint64_t fault : FaultsFor(service)) {
        BoardConfig board = ShippedBoard();
        board.failures.push_back({service, nth, fault});
        EXPECT_EQ(WholeBoot(board, *emulated), WholeBoot(board, *native))
            << service << " call " << nth << " answering " << fault;
        ++boots;
      }
  EXPECT_GE(boots, 30u);
}

INSTANTIATE_TEST_SUITE_P(Boards, EngineEquivalence, ::testing::ValuesIn(NamedBoards()),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                           std::string name = info.param;
                           for (auto &c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// The emulated engine keeps its machines from boot to boot: nothing a boot
// leaves behind (memory, CPU state, the driver's globals, the PCH series it
// cached) shows in the next one.
TEST(ReusedMachines, EachBootLeavesTheTraceOfABootOnAFreshEngine) {
  const auto reused = MakeEngine("emulated");
  for (const char *name : {"shipped", "lp-pch", "no-riser", "lan-command-00", "shipped"}) {
    const auto board = NamedBoard(name);
    ASSERT_TRUE(board.has_value()) << name;
    EXPECT_EQ(WholeBoot(*board, *reused), WholeBoot(*board, *MakeEngine("emulated"))) << name;
  }
}

}  // namespace
}  // namespace boardsim::testing
