// Every register access the compiled code makes reaches the hardware model
// once, with its own width, in program order, and the model's answer is what
// the instruction reads: nothing is split, merged or cached.
#include "sim/base/trace.h"
#include "tests/engine/engine_fixture.h"

namespace boardsim::testing {
namespace {

constexpr std::uint32_t kPchConfig = 0xE00F8000;     // bus 0, device 31: the PCH, device id 0xA305
constexpr std::uint32_t kLanCommand = 0xE0200004;    // bus 2, device 0: a LAN controller's Command register
constexpr std::uint32_t kLaneRegister = 0xFDA81558;  // sideband port 0xA8, offset 0x1558

TEST_F(EngineTest, ReadsOfEachWidthAreOneAccessOfThatWidth) {
  Start(Phase::Dxe);
  const std::size_t mark = GetTrace().Mark();
  Code byte, word, dword;
  byte.Bytes({0xB9}).Imm32(kPchConfig).Bytes({0x0F, 0xB6, 0x41, 0x03, 0xC3});  // movzx eax, byte [rcx+3]
  word.Bytes({0xB9}).Imm32(kPchConfig).Bytes({0x0F, 0xB7, 0x41, 0x02, 0xC3});  // movzx eax, word [rcx+2]
  dword.Bytes({0xB9}).Imm32(kPchConfig).Bytes({0x8B, 0x01, 0xC3});             // mov eax, [rcx]
  EXPECT_EQ(Run(Place(byte)), 0xA3u);
  EXPECT_EQ(Run(Place(word)), 0xA305u);
  EXPECT_EQ(Run(Place(dword)), 0xA3058086u);
  EXPECT_EQ(GetTrace().LinesSince(mark), (std::vector<std::string>{"R8 0xE00F8003 = 0xA3", "R16 0xE00F8002 = 0xA305",
                                                                   "R32 0xE00F8000 = 0xA3058086"}));
}

TEST_F(EngineTest, ReadModifyWriteIsAReadThenAWriteOfTheSameWidth) {
  Start(Phase::Dxe);
  const std::size_t mark = GetTrace().Mark();
  Code code;
  code.Bytes({0xB9})
      .Imm32(kLanCommand)
      .Bytes({0x80, 0x09, 0x01})              // or byte [rcx], 1
      .Bytes({0x66, 0xC7, 0x01, 0x06, 0x00})  // mov word [rcx], 6
      .Bytes({0xC3});
  Run(Place(code));
  EXPECT_EQ(GetTrace().LinesSince(mark),
            (std::vector<std::string>{"R8 0xE0200004 = 0x06", "W8 0xE0200004 = 0x07", "W16 0xE0200004 = 0x0006"}));
}

TEST_F(EngineTest, Ia32WriteToALaneRegisterIsOneThirtyTwoBitWrite) {
  Start(Phase::Pei);
  const std::size_t mark = GetTrace().Mark();
  Code code;
  code.Bytes({0xC7, 0x05}).Imm32(kLaneRegister).Imm32(0x152F2800).Bytes({0xC3});  // mov dword [addr], value
  const std::uint64_t noArguments[] = {0, 0};
  Machine().Call(Place(code), Signature::PeiEntry, noArguments);
  EXPECT_EQ(GetTrace().LinesSince(mark), (std::vector<std::string>{"W32 0xFDA81558 = 0x152F2800"}));
}

TEST_F(EngineTest, AccessNoDeviceClaimsReadsAllOnesAndIsReported) {
  Start(Phase::Dxe);
  const std::size_t mark = GetTrace().Mark();
  Code code;
  code.Bytes({0xB9}).Imm32(0x90000000).Bytes({0x8B, 0x01, 0xC3});  // mov eax, [0x90000000]
  EXPECT_EQ(Run(Place(code)), 0xFFFFFFFFu);
  const auto lines = GetTrace().LinesSince(mark);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "R32 0x90000000 = 0xFFFFFFFF");
  EXPECT_EQ(lines[1].rfind("unexpected ", 0), 0u) << lines[1];
}

TEST_F(EngineTest, ModelsCannotReachRegisterWindowsThroughGuestMemory) {
  Start(Phase::Dxe);
  EXPECT_THROW(Machine().Memory().Read32(kPchConfig), GuestFault);
}

}  // namespace
}  // namespace boardsim::testing
