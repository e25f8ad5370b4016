// A service that calls back into guest code (a notification run from inside
// InstallProtocolInterface, say) runs it to completion on the stack below the
// waiting caller, which then resumes with its registers and stack intact.
#include "tests/engine/engine_fixture.h"

namespace boardsim::testing {
namespace {

// The notify function: stores its two arguments at `marker`, then returns.
Code NotifyStoringArguments(GuestAddr marker) {
  Code code;
  code.Bytes({0x48, 0xB8})
      .Imm64(marker)                    // mov rax, marker
      .Bytes({0x48, 0x89, 0x08})        // mov [rax], rcx
      .Bytes({0x48, 0x89, 0x50, 0x08})  // mov [rax+8], rdx
      .Bytes({0x48, 0x31, 0xC9})        // xor rcx, rcx: scratch registers are the callee's
      .Bytes({0xC3});
  return code;
}

// The caller: keeps a value in RBX and one on its stack across the call.
Code CallerKeepingState(GuestAddr trap) {
  Code code;
  code.Bytes({0x53})  // push rbx
      .Bytes({0x48, 0xBB})
      .Imm64(0x1111222233334444ull)     // mov rbx, ...
      .Bytes({0x6A, 0x5A})              // push 0x5A
      .Bytes({0x48, 0x83, 0xEC, 0x28})  // sub rsp, 0x28 (shadow space, alignment)
      .Bytes({0x48, 0xB8})
      .Imm64(trap)
      .Bytes({0xFF, 0xD0})
      .Bytes({0x48, 0x83, 0xC4, 0x28})  // add rsp, 0x28
      .Bytes({0x58})                    // pop rax: the 0x5A pushed before the call
      .Bytes({0x48, 0x01, 0xD8})        // add rax, rbx
      .Bytes({0x5B, 0xC3});             // pop rbx; ret
  return code;
}

TEST_F(EngineTest, NotificationRunsInsideAServiceAndTheCallerResumesIntact) {
  Start(Phase::Dxe);
  const GuestAddr marker = Machine().Memory().Allocate(16);
  const GuestAddr notify = Place(NotifyStoringArguments(marker));
  std::uint64_t nestedInstructions = 0;
  Hub().SetAnswer([&](Service service, auto) -> std::uint64_t {
    if (service != Service::BsInstallProtocolInterface) return 0;
    const std::uint64_t arguments[] = {0xE1, 0xC0};
    Machine().Call(notify, Signature::EventNotify, arguments);
    nestedInstructions = Machine().LastCallInstructions();
    return 0;
  });

  const GuestAddr caller = Place(CallerKeepingState(Machine().ServiceEntry(Service::BsInstallProtocolInterface)));
  EXPECT_EQ(Run(caller), 0x1111222233334444ull + 0x5A);
  EXPECT_EQ(Machine().Memory().Read64(marker), 0xE1u);
  EXPECT_EQ(Machine().Memory().Read64(marker + 8), 0xC0u);
  EXPECT_EQ(nestedInstructions, 5u);
  // The caller's 11 instructions, and the notification's 5 it waited for.
  EXPECT_EQ(Machine().LastCallInstructions(), 11u + 5u);
}

TEST_F(EngineTest, NotificationThatCallsAServiceNestsTwoLevelsDeep) {
  Start(Phase::Dxe);
  Code inner;
  inner.Bytes({0xB8, 0x07, 0x00, 0x00, 0x00, 0xC3});  // mov eax, 7; ret
  const GuestAddr innermost = Place(inner);
  // A notification that calls CloseEvent and returns what it answered.
  Code notifyCode;
  notifyCode.Bytes({0x48, 0x83, 0xEC, 0x28})
      .Bytes({0x48, 0xB8})
      .Imm64(Machine().ServiceEntry(Service::BsCloseEvent))
      .Bytes({0xFF, 0xD0})
      .Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3});
  const GuestAddr notify = Place(notifyCode);
  std::uint64_t notifyResult = 0;
  Hub().SetAnswer([&](Service service, auto) -> std::uint64_t {
    if (service == Service::BsCloseEvent) return 100 + Machine().Call(innermost, Signature::ValueAnswer, {});
    const std::uint64_t arguments[] = {0, 0};
    notifyResult = Machine().Call(notify, Signature::DxeEntry, arguments);
    return 0;
  });

  EXPECT_EQ(Run(Place(CallerKeepingState(Machine().ServiceEntry(Service::BsSignalEvent)))),
            0x1111222233334444ull + 0x5A);
  EXPECT_EQ(notifyResult, 107u);
  ASSERT_EQ(Hub().Calls().size(), 2u);
  EXPECT_EQ(Hub().Calls()[0].service, Service::BsSignalEvent);
  EXPECT_EQ(Hub().Calls()[1].service, Service::BsCloseEvent);
}

TEST_F(EngineTest, FaultInANestedCallEndsTheOuterCallAndTheMachineRunsOn) {
  Start(Phase::Dxe);
  Code hang;
  hang.Bytes({0xEB, 0xFE});  // jmp $
  const GuestAddr hanging = Place(hang);
  Hub().SetAnswer([&](Service, auto) -> std::uint64_t {
    const std::uint64_t arguments[] = {0, 0};
    Machine().Call(hanging, Signature::EventNotify, arguments);
    return 0;
  });
  Machine().SetBlockBudget(500);
  const std::string message =
      FaultOf([&] { Run(Place(CallerKeepingState(Machine().ServiceEntry(Service::BsSignalEvent)))); });
  EXPECT_NE(message.find("500 basic blocks"), std::string::npos) << message;

  Code answer;
  answer.Bytes({0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3});  // mov eax, 42; ret
  EXPECT_EQ(Run(Place(answer)), 42u);
}

}  // namespace
}  // namespace boardsim::testing
