// The MAC query across calls: the port locator is looked up until it is
// found and then kept, nothing else carries over from one call to the next,
// and a call without its buffers touches nothing.
#include <string>
#include <vector>

#include "tests/dxe_hook/lan_query.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

constexpr const char *kLocatorLookup = "call BS.LocateProtocol(PORT_LOCATOR_PROTOCOL)";

class LanQueryCalls : public ScenarioTest {
 protected:
  // One query; its calls and accesses, and what it returned.
  std::vector<std::string> QueryLines(LanMacResult &result) {
    Boot &boot = CurrentBoot();
    const std::size_t mark = boot.GetTrace().Mark();
    const auto answer = boot.QueryLanMacs();
    if (!answer) {
      ADD_FAILURE() << "BOARD_HOOK_PROTOCOL is not installed";
      return {};
    }
    result = *answer;
    return CallsAndAccessesSince(boot.GetTrace(), mark);
  }
};

TEST_P(LanQueryCalls, PortLocatorIsLocatedOnceAndKept) {
  StartBoot("shipped").RunDefaultSequence();
  LanMacResult first, second;
  const auto firstLines = QueryLines(first);
  const auto secondLines = QueryLines(second);
  EXPECT_EQ(CountStartingWith(firstLines, kLocatorLookup), 1u);
  ASSERT_FALSE(firstLines.empty());
  EXPECT_EQ(firstLines.front(), std::string(kLocatorLookup) + " = EFI_SUCCESS");
  EXPECT_EQ(CountStartingWith(secondLines, kLocatorLookup), 0u);
  ExpectNoProblems();
}

TEST_P(LanQueryCalls, QueryKeepsNoStateBetweenCalls) {
  StartBoot("shipped").RunDefaultSequence();
  LanMacResult first, second;
  auto firstLines = QueryLines(first);
  const auto secondLines = QueryLines(second);
  // Apart from the first call's lookup of the locator, the same accesses
  // and the same lists.
  ASSERT_FALSE(firstLines.empty());
  firstLines.erase(firstLines.begin());
  EXPECT_EQ(firstLines, secondLines);
  EXPECT_EQ(first.buffer, second.buffer);
  EXPECT_EQ(first.out, second.out);
  ExpectNoProblems();
}

TEST_P(LanQueryCalls, ChangedMacIsReadAfreshAtTheNextCall) {
  Boot &boot = StartBoot("shipped");
  boot.RunDefaultSequence();
  LanMacResult before, after;
  QueryLines(before);
  // The controller behind port 0x18D gets a new address (its receive
  // address register is writable while memory space is on).
  boot.Hardware().Write(0xD0205405, 8, 0x99);
  QueryLines(after);
  Mac changed = kPort18DMac;
  changed[5] = 0x99;
  EXPECT_EQ(before.second.addresses, (std::vector<Mac>{kPort18CMac, kPort18DMac, kPort18EMac}));
  EXPECT_EQ(after.second.addresses, (std::vector<Mac>{kPort18CMac, changed, kPort18EMac}));
  EXPECT_EQ(after.first.addresses, std::vector<Mac>{kPort8Mac});
  ExpectNoProblems();
}

TEST_P(LanQueryCalls, CountsStartAtZeroWhateverTheBuffersHeld) {
  Boot &boot = StartBoot("lan-missing-controller");
  boot.RunDefaultSequence();
  GuestMemory &memory = boot.DxeMachine().Memory();
  // A caller reusing buffers from an earlier, fuller answer.
  const std::vector<std::uint8_t> staleBuffer = {0x11, 0x22, 0x33, 3, 9, 9, 9, 9, 9, 9};
  std::vector<std::uint8_t> staleOut(kOutSize, 0x77);
  staleOut[0] = 3;
  GuestBuffer buffer(memory, staleBuffer);
  GuestBuffer out(memory, staleOut);
  EXPECT_EQ(boot.CallLanMacQuery(buffer.Address(), out.Address()), EFI_SUCCESS);

  std::vector<std::uint8_t> expectedBuffer = {0x11, 0x22, 0x33, 1};
  expectedBuffer.insert(expectedBuffer.end(), kPort8Mac.begin(), kPort8Mac.end());
  EXPECT_EQ(buffer.Contents(), expectedBuffer);
  std::vector<std::uint8_t> expectedOut = {2};
  expectedOut.insert(expectedOut.end(), kPort18CMac.begin(), kPort18CMac.end());
  expectedOut.insert(expectedOut.end(), kPort18EMac.begin(), kPort18EMac.end());
  expectedOut.insert(expectedOut.end(), 6, 0x77);  // the third slot is not the query's any more
  EXPECT_EQ(out.Contents(), expectedOut);
  ExpectNoProblems();
}

TEST_P(LanQueryCalls, WithoutPortLocatorBothListsAreEmptyAndEveryLookupIsRetried) {
  Boot &boot = StartBoot("no-port-locator");
  boot.RunDefaultSequence();
  LanMacResult result;
  const auto lines = QueryLines(result);
  const std::string notFound = std::string(kLocatorLookup) + " = EFI_NOT_FOUND";
  EXPECT_EQ(lines, std::vector<std::string>(4, notFound));
  EXPECT_EQ(result.status, EFI_SUCCESS);
  EXPECT_EQ(result.first.count, 0);
  EXPECT_EQ(result.second.count, 0);
  EXPECT_EQ(Bytes(result.buffer, 0, kFirstListOffset), Untouched(3));
  EXPECT_EQ(Bytes(result.buffer, kFirstListOffset + 1, kBufferSize), Untouched(6));
  EXPECT_EQ(Bytes(result.out, 1, kOutSize), Untouched(18));
  ExpectNoProblems();
}

TEST_P(LanQueryCalls, PortLocatorArrivingLaterIsFoundAtTheNextCallAndThenKept) {
  Boot &boot = StartBoot("no-port-locator");
  boot.RunDefaultSequence();
  LanMacResult early, late, later;
  EXPECT_EQ(CountStartingWith(QueryLines(early), kLocatorLookup), 4u);
  boot.InstallPortLocator();
  const auto lateLines = QueryLines(late);
  EXPECT_EQ(StartingWith(lateLines, kLocatorLookup),
            std::vector<std::string>{std::string(kLocatorLookup) + " = EFI_SUCCESS"});
  EXPECT_EQ(late.first.count, 1);
  EXPECT_EQ(late.second.count, 3);
  EXPECT_EQ(CountStartingWith(QueryLines(later), kLocatorLookup), 0u);
  EXPECT_EQ(later.out, late.out);
  ExpectNoProblems();
}

TEST_P(LanQueryCalls, FailedLocatorLookupSkipsOnlyThePortItWasFor) {
  BoardConfig board = ShippedBoard();
  // The entry and the two handlers are not run: the first lookup of the
  // boot is the query's.
  board.failures.push_back({"BS.LocateProtocol", 1, EFI_NOT_FOUND});
  Boot &boot = StartBoot(std::move(board));
  boot.InstallPortLocator();
  boot.LoadDxe();
  LanMacResult result;
  const auto lines = QueryLines(result);
  EXPECT_EQ(StartingWith(lines, kLocatorLookup),
            (std::vector<std::string>{std::string(kLocatorLookup) + " = EFI_NOT_FOUND (injected)",
                                      std::string(kLocatorLookup) + " = EFI_SUCCESS"}));
  EXPECT_EQ(result.first.count, 0);
  EXPECT_EQ(result.second.addresses, (std::vector<Mac>{kPort18CMac, kPort18DMac, kPort18EMac}));
  ExpectNoProblems();
}

TEST_P(LanQueryCalls, MissingBufferOrOutIsRefusedWithoutTouchingAnything) {
  Boot &boot = StartBoot("shipped");
  boot.RunDefaultSequence();
  GuestMemory &memory = boot.DxeMachine().Memory();
  GuestBuffer buffer(memory, Untouched(kBufferSize));
  GuestBuffer out(memory, Untouched(kOutSize));
  const struct {
    const char *what;
    GuestAddr buffer;
    GuestAddr out;
  } calls[] = {{"NULL Buffer", 0, out.Address()}, {"NULL Out", buffer.Address(), 0}, {"both NULL", 0, 0}};
  for (const auto &call : calls) {
    SCOPED_TRACE(call.what);
    const std::size_t mark = boot.GetTrace().Mark();
    EXPECT_EQ(boot.CallLanMacQuery(call.buffer, call.out), EFI_INVALID_PARAMETER);
    EXPECT_EQ(CallsAndAccessesSince(boot.GetTrace(), mark), std::vector<std::string>{});
    EXPECT_EQ(buffer.Contents(), Untouched(kBufferSize));
    EXPECT_EQ(out.Contents(), Untouched(kOutSize));
  }
  // The refused calls did not look the locator up: the first real call does.
  LanMacResult result;
  EXPECT_EQ(CountStartingWith(QueryLines(result), kLocatorLookup), 1u);
  ExpectNoProblems();
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(LanQueryCalls);

}  // namespace
}  // namespace boardsim::testing
