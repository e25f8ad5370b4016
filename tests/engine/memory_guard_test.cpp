// What the board does not survive ends the run with a message that says
// where: a write to flash or to an image's code, a jump to memory that is
// not code, a CPU exception, a hang.
#include <algorithm>
#include <chrono>
#include <iterator>

#include "sim/board/board_config.h"
#include "sim/engine/emulated/emulated_layout.h"
#include "sim/image/firmware_layout.h"
#include "tests/engine/engine_fixture.h"

namespace boardsim::testing {
namespace {

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST_F(EngineTest, WriteIntoBoardPeiInFlashNamesImageOffsetAndSection) {
  Start(Phase::Pei);
  Machine().LoadModule();
  const GuestAddr target = firmware_layout::kBoardPeiImageBase + 0x210;
  Code code;
  code.Bytes({0xC7, 0x05}).Imm32(static_cast<std::uint32_t>(target)).Imm32(1).Bytes({0xC3});
  const GuestAddr at = Place(code);
  const std::uint64_t noArguments[] = {0, 0};
  const std::string message = FaultOf([&] { Machine().Call(at, Signature::PeiEntry, noArguments); });
  EXPECT_TRUE(Has(message, "4-byte write of 0x1 to 0xFFFE0210 (BoardPei+0x210 (.text)), read-only flash")) << message;
  EXPECT_TRUE(Has(message, "by the instruction at 0x00110000 (scratch code+0x0)")) << message;
}

TEST_F(EngineTest, WriteIntoErasedFlashIsRefusedToo) {
  Start(Phase::Pei);
  Machine().LoadModule();
  Code code;
  code.Bytes({0xC6, 0x05}).Imm32(0xFFFF0000).Bytes({0x00, 0xC3});  // mov byte [0xFFFF0000], 0
  const GuestAddr at = Place(code);
  const std::uint64_t noArguments[] = {0, 0};
  const std::string message = FaultOf([&] { Machine().Call(at, Signature::PeiEntry, noArguments); });
  EXPECT_TRUE(Has(message, "1-byte write of 0x0 to 0xFFFF0000 (boot flash+0x10000 (erased)), read-only flash"))
      << message;
}

TEST_F(EngineTest, ModelWritesToFlashAreGuestFaults) {
  Start(Phase::Pei);
  Machine().LoadModule();
  EXPECT_THROW(Machine().Memory().Write32(firmware_layout::kBoardPeiFlashAddress, 0), GuestFault);
}

TEST_F(EngineTest, WriteIntoDriverCodeIsRefused) {
  Start(Phase::Dxe);
  const GuestAddr entry = Machine().LoadModule();
  Code code;
  code.Bytes({0x48, 0xB8}).Imm64(entry).Bytes({0xC6, 0x00, 0x90, 0xC3});  // mov byte [entry], 0x90
  const std::string message = FaultOf([&] { Run(Place(code)); });
  EXPECT_TRUE(Has(message, "BoardDxe: 1-byte write of 0x90 to")) << message;
  EXPECT_TRUE(Has(message, "(.text)), a read-only section")) << message;
}

TEST_F(EngineTest, CallIntoDriverConstantsIsAFetchFromMemoryThatIsNotCode) {
  Start(Phase::Dxe);
  Machine().LoadModule();
  const emulated::LoadedImage &image = *Machine().Image();
  GuestAddr constants = 0;
  for (const auto &part : image.parts)
    if (part.name == ".rdata") constants = part.start;
  ASSERT_NE(constants, 0u);
  const std::uint64_t noArguments[] = {0, 0};
  const std::string message = FaultOf([&] { Machine().Call(constants, Signature::DxeEntry, noArguments); });
  EXPECT_TRUE(Has(message, "execution reached " + emulated::HexAddress(constants) + " (BoardDxe+0x")) << message;
  EXPECT_TRUE(Has(message, "(.rdata)), memory that is not code")) << message;
}

TEST_F(EngineTest, CallThroughAnUnrelocatedPointerFaults) {
  Start(Phase::Dxe);
  const GuestAddr entry = Machine().LoadModule();
  const auto &headers = ImageOf(Phase::Dxe)->headers;
  const GuestAddr linked = headers.imageBase + headers.entryPoint;
  ASSERT_NE(linked, entry);
  const std::uint64_t noArguments[] = {0, 0};
  const std::string message = FaultOf([&] { Machine().Call(linked, Signature::DxeEntry, noArguments); });
  EXPECT_TRUE(Has(message, "execution reached " + emulated::HexAddress(linked) + " (unmapped), unmapped memory"))
      << message;
}

TEST_F(EngineTest, JumpIntoHeapDataFaults) {
  Start(Phase::Dxe);
  const GuestAddr data = Machine().Memory().Allocate(16);
  Machine().Memory().Write8(data, 0xC3);  // a ret that must not run
  const std::string message = FaultOf([&] { Run(data); });
  EXPECT_TRUE(Has(message, "(heap+0x")) << message;
  EXPECT_TRUE(Has(message, "memory that is not code")) << message;
}

TEST_F(EngineTest, InvalidInstructionAndBreakpointEndTheRun) {
  Start(Phase::Dxe);
  Code invalid;
  invalid.Bytes({0x90, 0x0F, 0x0B});  // nop; ud2
  std::string message = FaultOf([&] { Run(Place(invalid)); });
  EXPECT_TRUE(Has(message, "BoardDxe: invalid instruction at 0x00110001 (scratch code+0x1)")) << message;
  Code breakpoint;
  breakpoint.Bytes({0x90, 0xCC});  // nop; int3
  const GuestAddr at = Place(breakpoint);
  message = FaultOf([&] { Run(at); });
  EXPECT_TRUE(Has(message, "BoardDxe: CPU exception 3 (breakpoint (int3)) at " + emulated::HexAddress(at + 2)))
      << message;
}

TEST_F(EngineTest, NullFunctionPointerIsAGuestFault) {
  Start(Phase::Dxe);
  EXPECT_THROW(Run(0), GuestFault);
}

TEST_F(EngineTest, HangEndsWhenTheBlockBudgetRunsOut) {
  Start(Phase::Dxe);
  Machine().SetBlockBudget(1000);
  Code code;
  code.Bytes({0x90, 0xEB, 0xFE});  // nop; jmp $
  const std::string message = FaultOf([&] { Run(Place(code)); });
  EXPECT_TRUE(Has(message, "the call to 0x00110000 (scratch code+0x0) ran 1000 basic blocks without returning"))
      << message;
  EXPECT_TRUE(Has(message, "the block at 0x00110001 (scratch code+0x1)")) << message;
}

TEST_F(EngineTest, DamagedDriverLoopingThroughServicesEndsQuicklyWithTheCallAndBlockNamed) {
  // BoardDxe with its entry overwritten: RaiseTPL, again and again.
  auto damaged = std::make_shared<emulated::ImageFile>(*ImageOf(Phase::Dxe));
  const auto offset = damaged->headers.FileOffsetOf(damaged->headers.entryPoint, 16);
  ASSERT_TRUE(offset.has_value());
  const std::uint8_t loop[] = {
      0x48, 0x8B, 0x5A, 0x60,        // mov rbx, [rdx + 0x60]   ; SystemTable->BootServices
      0x48, 0x83, 0xEC, 0x28,        // sub rsp, 0x28
      0xB9, 0x08, 0x00, 0x00, 0x00,  // again: mov ecx, TPL_CALLBACK
      0xFF, 0x53, 0x18,              // call [rbx + 0x18]       ; RaiseTPL
      0xEB, 0xF6,                    // jmp again
  };
  std::copy(std::begin(loop), std::end(loop), damaged->bytes.begin() + static_cast<std::ptrdiff_t>(*offset));

  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);
  for (const bool byTime : {false, true}) {
    EmulatedMachine machine(Phase::Dxe, Hub(), hardware, damaged);
    if (byTime) {
      machine.SetServiceCallBudget(100'000'000);
      machine.SetTimeBudget(std::chrono::milliseconds(100));
    }
    const GuestAddr entry = machine.LoadModule();
    GuestMemory &memory = machine.Memory();
    const GuestAddr bootServices = memory.Allocate(0x180);
    memory.Write64(bootServices + 0x18, machine.ServiceEntry(Service::BsRaiseTpl));
    const GuestAddr systemTable = memory.Allocate(0x80);
    memory.Write64(systemTable + 0x60, bootServices);
    const std::uint64_t arguments[] = {0x00203000, systemTable};

    const auto start = std::chrono::steady_clock::now();
    std::string message;
    try {
      machine.Call(entry, Signature::DxeEntry, arguments);
    } catch (const EmulationFault &fault) {
      message = fault.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const std::string stop =
        byTime ? "ran for more than 100 ms" : "made 10000 service calls (the next to the entry of BS.RaiseTPL)";
    EXPECT_TRUE(
        Has(message, "BoardDxe: the call to 0x01001000 (BoardDxe+0x1000 (.text)) " + stop + " without returning"))
        << message;
    EXPECT_TRUE(Has(message, "it was running the block at 0x01001008 (BoardDxe+0x1008 (.text))")) << message;
  }
}

TEST_F(EngineTest, BudgetCountsEachCallAfresh) {
  Start(Phase::Dxe);
  Machine().SetBlockBudget(30);
  Code loop;
  loop.Bytes({0xB9, 0x0A, 0x00, 0x00, 0x00})  // mov ecx, 10
      .Bytes({0xFF, 0xC9, 0x75, 0xFC})        // dec ecx; jnz back to the dec
      .Bytes({0xC3});
  const GuestAddr code = Place(loop);
  for (int i = 0; i < 5; ++i) EXPECT_NO_THROW(Run(code));
}

TEST_F(EngineTest, InstructionsOfACallAreCountedExactly) {
  Start(Phase::Dxe);
  Code straight;
  straight.Bytes({0x90, 0x90, 0x90, 0xB8, 0x05, 0x00, 0x00, 0x00, 0xC3});  // 3 nops, mov eax, 5, ret
  Code loop;
  loop.Bytes({0xB9, 0x0A, 0x00, 0x00, 0x00, 0xFF, 0xC9, 0x75, 0xFC, 0xC3});  // 1 + 10 * 2 + 1
  Run(Place(straight));
  EXPECT_EQ(Machine().LastCallInstructions(), 5u);
  Run(Place(loop));
  EXPECT_EQ(Machine().LastCallInstructions(), 22u);
  Run(Place(straight));
  EXPECT_EQ(Machine().LastCallInstructions(), 5u);
}

}  // namespace
}  // namespace boardsim::testing
