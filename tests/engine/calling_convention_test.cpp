// Arguments and results cross between guest code and the models exactly as
// the firmware's calling conventions place them: Microsoft x64 for the
// driver (four registers, shadow space, the rest on the stack), cdecl on
// IA-32 (every argument a stack word); a narrow value keeps only its own
// bits; a boolean is AL alone.
#include "tests/engine/engine_fixture.h"

namespace boardsim::testing {
namespace {

constexpr std::uint64_t kInvalidParameter = 0x8000000000000002ull;

// mov rax, imm64; call rax (the stack already aligned and shadowed)
Code &CallTrap(Code &code, GuestAddr trap) { return code.Bytes({0x48, 0xB8}).Imm64(trap).Bytes({0xFF, 0xD0}); }

TEST_F(EngineTest, SixArgumentsOfCreateEventExReachTheService) {
  Start(Phase::Dxe);
  const GuestAddr group = Machine().Memory().Allocate(16);
  const GuestAddr eventOut = Machine().Memory().Allocate(8);
  Hub().SetAnswer([](Service, auto) { return kInvalidParameter; });
  Code code;
  code.Bytes({0x48, 0x83, 0xEC, 0x38})  // sub rsp, 0x38
      .Bytes({0x48, 0xB9})
      .Imm64(0xFFFFFFFF00000200ull)  // mov rcx: a UINT32 with garbage above it
      .Bytes({0x48, 0xBA})
      .Imm64(8)  // mov rdx, TPL_CALLBACK
      .Bytes({0x49, 0xB8})
      .Imm64(0x0000000001234560ull)  // mov r8, notify
      .Bytes({0x49, 0xB9})
      .Imm64(0x5555666677778888ull)  // mov r9, context
      .Bytes({0x48, 0xB8})
      .Imm64(group)
      .Bytes({0x48, 0x89, 0x44, 0x24, 0x20})  // 5th: [rsp+0x20]
      .Bytes({0x48, 0xB8})
      .Imm64(eventOut)
      .Bytes({0x48, 0x89, 0x44, 0x24, 0x28});  // 6th: [rsp+0x28]
  CallTrap(code, Machine().ServiceEntry(Service::BsCreateEventEx)).Bytes({0x48, 0x83, 0xC4, 0x38, 0xC3});

  EXPECT_EQ(Run(Place(code)), kInvalidParameter);
  ASSERT_EQ(Hub().Calls().size(), 1u);
  EXPECT_EQ(Hub().Calls()[0].service, Service::BsCreateEventEx);
  EXPECT_EQ(Hub().Calls()[0].arguments,
            (std::vector<std::uint64_t>{0x200, 8, 0x1234560, 0x5555666677778888ull, group, eventOut}));
}

TEST_F(EngineTest, OutParameterWrittenByTheServiceIsWhatTheCallerReads) {
  Start(Phase::Dxe);
  const GuestAddr guid = Machine().Memory().Allocate(16);
  Hub().SetAnswer([this](Service, std::span<const std::uint64_t> a) {
    Machine().Memory().WritePointer(a[2], 0x00ABCDEF12345678ull);
    return 0;
  });
  Code code;
  code.Bytes({0x48, 0x83, 0xEC, 0x38})        // sub rsp, 0x38
      .Bytes({0x4C, 0x8D, 0x44, 0x24, 0x30})  // lea r8, [rsp+0x30]: the out-parameter on the stack
      .Bytes({0x48, 0xB9})
      .Imm64(guid)           // mov rcx, guid
      .Bytes({0x31, 0xD2});  // xor edx, edx
  CallTrap(code, Machine().ServiceEntry(Service::BsLocateProtocol))
      .Bytes({0x48, 0x8B, 0x44, 0x24, 0x30})  // mov rax, [rsp+0x30]
      .Bytes({0x48, 0x83, 0xC4, 0x38, 0xC3});

  EXPECT_EQ(Run(Place(code)), 0x00ABCDEF12345678ull);
  ASSERT_EQ(Hub().Calls().size(), 1u);
  EXPECT_EQ(Hub().Calls()[0].arguments[0], guid);
  EXPECT_EQ(Hub().Calls()[0].arguments[1], 0u);
  EXPECT_EQ(Machine().Describe(Hub().Calls()[0].arguments[2]).rfind("stack+", 0), 0u);
}

TEST_F(EngineTest, EightAndSixteenBitArgumentsKeepOnlyTheirOwnBits) {
  Start(Phase::Dxe);
  Code code;
  code.Bytes({0x48, 0x83, 0xEC, 0x28})  // sub rsp, 0x28
      .Bytes({0x48, 0xB9})
      .Imm64(0xABCDEF0123456709ull)  // UINT8 Type = 9
      .Bytes({0x48, 0xBA})
      .Imm64(0xFFFFFFFFFFFFFF02ull)                  // UINT8 Instance = 2
      .Bytes({0x4D, 0x31, 0xC0, 0x4D, 0x31, 0xC9});  // xor r8, r8; xor r9, r9
  CallTrap(code, Machine().ServiceEntry(Service::SmbiosReadStructure))
      .Bytes({0x48, 0xB9})
      .Imm64(0x1234567800000029ull);  // UINT16 Handle = 0x29
  CallTrap(code, Machine().ServiceEntry(Service::SmbiosDeleteStructure)).Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3});

  Run(Place(code));
  ASSERT_EQ(Hub().Calls().size(), 2u);
  EXPECT_EQ(Hub().Calls()[0].arguments, (std::vector<std::uint64_t>{9, 2, 0, 0}));
  EXPECT_EQ(Hub().Calls()[1].arguments, (std::vector<std::uint64_t>{0x29}));
}

TEST_F(EngineTest, ThirtyTwoBitServiceResultArrivesInEax) {
  Start(Phase::Dxe);
  Hub().SetAnswer([](Service, auto) { return 0x5AA5018C; });
  Code code;
  code.Bytes({0x48, 0x83, 0xEC, 0x28, 0xB9, 0x08, 0x00, 0x00, 0x00});  // sub rsp, 0x28; mov ecx, 8
  CallTrap(code, Machine().ServiceEntry(Service::DxePcdGet32))
      .Bytes({0x89, 0xC0})  // mov eax, eax
      .Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3});
  EXPECT_EQ(Run(Place(code)), 0x5AA5018Cu);
  EXPECT_EQ(Hub().Calls().at(0).arguments, (std::vector<std::uint64_t>{8}));
}

TEST_F(EngineTest, BooleanResultIsAlOnlyWhateverTheRestOfRaxHolds) {
  Start(Phase::Dxe);
  Code trueWithGarbage;
  trueWithGarbage.Bytes({0x48, 0xB8})
      .Imm64(0x123456789ABCDE00ull)
      .Bytes({0xB0, 0x01, 0xC3});  // mov rax, ...; mov al, 1
  Code falseWithGarbage;
  falseWithGarbage.Bytes({0x48, 0xB8}).Imm64(0xFFFFFFFFFFFFFF01ull).Bytes({0xB0, 0x00, 0xC3});
  EXPECT_EQ(Machine().Call(Place(trueWithGarbage), Signature::BooleanAnswer, {}), 1u);
  EXPECT_EQ(Machine().Call(Place(falseWithGarbage), Signature::BooleanAnswer, {}), 0u);
}

TEST_F(EngineTest, UnfilledSlotIsReportedAndReturnsUnsupported) {
  Start(Phase::Dxe);
  Code code;
  code.Bytes({0x48, 0x83, 0xEC, 0x28});
  CallTrap(code, Machine().UnexpectedEntry(ServiceTable::BootServices, 17)).Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3});
  EXPECT_EQ(Run(Place(code)), 0x8000000000000003ull);
  ASSERT_EQ(Hub().Calls().size(), 1u);
  EXPECT_FALSE(Hub().Calls()[0].service.has_value());
  EXPECT_EQ(Hub().Calls()[0].table, ServiceTable::BootServices);
  EXPECT_EQ(Hub().Calls()[0].slot, 17u);
}

TEST_F(EngineTest, Ia32ArgumentsAreStackWordsFirstLowest) {
  Start(Phase::Pei);
  Hub().SetAnswer([](Service, auto) { return 0x8000000Eu; });  // EFI_NOT_FOUND as the 32-bit guest sees it
  Code code;
  code.Bytes({0x68})
      .Imm32(0x00301000)    // push ppiOut
      .Bytes({0x6A, 0x00})  // push descriptorOut = NULL
      .Bytes({0x6A, 0x02})  // push instance 2
      .Bytes({0x68})
      .Imm32(0x00302000)  // push guid
      .Bytes({0x68})
      .Imm32(0x00303000)  // push services
      .Bytes({0xB8})
      .Imm32(static_cast<std::uint32_t>(Machine().ServiceEntry(Service::PeiLocatePpi)))
      .Bytes({0xFF, 0xD0})               // call eax
      .Bytes({0x83, 0xC4, 0x14, 0xC3});  // add esp, 20 (the caller pops cdecl arguments); ret
  const std::uint64_t noArguments[] = {0, 0};
  EXPECT_EQ(Machine().Call(Place(code), Signature::PeiEntry, noArguments), 0x8000000Eu);
  ASSERT_EQ(Hub().Calls().size(), 1u);
  EXPECT_EQ(Hub().Calls()[0].arguments, (std::vector<std::uint64_t>{0x00303000, 0x00302000, 2, 0, 0x00301000}));
}

TEST_F(EngineTest, Ia32CallPassesArgumentsOnTheStackAndReturnsEax) {
  Start(Phase::Pei);
  Code code;
  code.Bytes({0x8B, 0x44, 0x24, 0x0C})  // mov eax, [esp+12]: the third argument
      .Bytes({0x2B, 0x44, 0x24, 0x10})  // sub eax, [esp+16]: minus the fourth
      .Bytes({0xC3});
  const std::uint64_t arguments[] = {0, 1, 0x00300010, 0x00000010};
  EXPECT_EQ(Machine().Call(Place(code), Signature::PpiBoardInfo, arguments), 0x00300000u);
}

TEST_F(EngineTest, Ia32SixtyFourBitResultIsEdxEax) {
  Start(Phase::Pei);
  Code code;
  code.Bytes({0xB8}).Imm32(0x89ABCDEF).Bytes({0xBA}).Imm32(0x01234567).Bytes({0xC3});
  EXPECT_EQ(Run(Place(code)), 0x0123456789ABCDEFull);
}

TEST_F(EngineTest, Ia32SidtReportsTheIdtBaseTheCoreSet) {
  Start(Phase::Pei);
  Machine().SetIdtBase(0x00204010);
  Code code;
  code.Bytes({0x83, 0xEC, 0x08})        // sub esp, 8
      .Bytes({0x0F, 0x01, 0x0C, 0x24})  // sidt [esp]
      .Bytes({0x8B, 0x44, 0x24, 0x02})  // mov eax, [esp+2]: the base after the 16-bit limit
      .Bytes({0x83, 0xC4, 0x08, 0xC3});
  const std::uint64_t noArguments[] = {0, 0};
  EXPECT_EQ(Machine().Call(Place(code), Signature::PeiEntry, noArguments), 0x00204010u);
}

}  // namespace
}  // namespace boardsim::testing
