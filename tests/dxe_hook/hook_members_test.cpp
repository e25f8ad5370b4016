// BOARD_HOOK_PROTOCOL's constant members as a consumer sees them.
#include <string>
#include <vector>

#include "sim/core/known_guids.h"
#include "tests/dxe_scenario_support/trace_lines.h"
#include "tests/support/scenario.h"

namespace boardsim::testing {
namespace {

constexpr unsigned kMemberCount = 8;

class HookMembers : public ScenarioTest {
 protected:
  // The member pointers of the installed instance, as a consumer reads them.
  std::vector<GuestAddr> MemberPointers() {
    Boot &boot = CurrentBoot();
    const auto protocol = boot.Dxe().FindProtocol(BoardHookProtocolGuid());
    if (!protocol) {
      ADD_FAILURE() << "BOARD_HOOK_PROTOCOL is not installed";
      return std::vector<GuestAddr>(kMemberCount, 0);
    }
    GuestMemory &memory = boot.DxeMachine().Memory();
    std::vector<GuestAddr> members;
    for (unsigned member = 0; member < kMemberCount; ++member)
      members.push_back(memory.ReadPointer(*protocol + member * memory.PointerSize()));
    return members;
  }
};

TEST_P(HookMembers, BooleanMembersAnswerFalseFalseTrueInTheirLowByte) {
  Boot &boot = StartBoot("shipped");
  boot.RunDefaultSequence();
  const auto answers = boot.CallHookMembers();
  ASSERT_TRUE(answers.has_value());
  // A BOOLEAN is the low byte of the result register; the rest is not
  // part of the answer.
  ASSERT_TRUE(answers->members[0].has_value());
  ASSERT_TRUE(answers->members[2].has_value());
  ASSERT_TRUE(answers->members[5].has_value());
  EXPECT_EQ(*answers->members[0] & 0xFF, 0u);
  EXPECT_EQ(*answers->members[2] & 0xFF, 0u);
  EXPECT_EQ(*answers->members[5] & 0xFF, 1u);
  ExpectNoProblems();
}

TEST_P(HookMembers, ValueMembersAnswerAWholeZero) {
  Boot &boot = StartBoot("shipped");
  boot.RunDefaultSequence();
  const auto answers = boot.CallHookMembers();
  ASSERT_TRUE(answers.has_value());
  EXPECT_EQ(answers->members[1], std::optional<std::uint64_t>(0));
  EXPECT_EQ(answers->members[6], std::optional<std::uint64_t>(0));
}

TEST_P(HookMembers, MembersThreeAndSevenAreEmptyAndFourIsTheQuery) {
  StartBoot("shipped").LoadDxe();
  const auto members = MemberPointers();
  EXPECT_EQ(members[3], 0u);
  EXPECT_EQ(members[7], 0u);
  for (unsigned member : {0u, 1u, 2u, 4u, 5u, 6u}) EXPECT_NE(members[member], 0u) << "member " << member;
  const auto answers = CurrentBoot().CallHookMembers();
  ASSERT_TRUE(answers.has_value());
  EXPECT_FALSE(answers->members[3].has_value());
  EXPECT_FALSE(answers->members[7].has_value());
}

TEST_P(HookMembers, MembersWithTheSameAnswerShareOneFunction) {
  StartBoot("shipped").LoadDxe();
  const auto members = MemberPointers();
  EXPECT_EQ(members[0], members[2]);
  EXPECT_EQ(members[1], members[6]);
  EXPECT_NE(members[0], members[5]);
}

TEST_P(HookMembers, ConstantMembersTouchNoServiceAndNoRegister) {
  Boot &boot = StartBoot("shipped");
  boot.LoadDxe();
  // Straight after the entry, before any service or handler has run.
  const std::size_t mark = boot.GetTrace().Mark();
  const auto first = boot.CallHookMembers();
  const auto second = boot.CallHookMembers();
  ASSERT_TRUE(first.has_value() && second.has_value());
  EXPECT_EQ(first->members, second->members);
  EXPECT_EQ(CallsAndAccessesSince(boot.GetTrace(), mark), std::vector<std::string>{});
  ExpectNoProblems();
}

BOARD_SCENARIOS_ON_EVERY_ENGINE(HookMembers);

}  // namespace
}  // namespace boardsim::testing
