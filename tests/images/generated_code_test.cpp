// The code the compiler generated for the firmware images, read back with
// llvm-objdump: each register accessor is exactly one access of its width,
// the IDT base comes from sidt, and no code uses SSE, MMX or x87 state.
#include <gtest/gtest.h>

#include <regex>

#include "built_images.h"
#include "disassembly.h"

namespace {

using imagetest::Disassembly;
using imagetest::Instruction;

struct Architecture {
  const char *folder;  // cross build folder under <build>/firmware
  const char *moduleArchive;
};
void PrintTo(const Architecture &architecture, std::ostream *out) { *out << architecture.folder; }
constexpr Architecture kX64{"x64", "libBoardDxeCode.a"};
constexpr Architecture kIa32{"ia32", "libBoardPeiCode.a"};

Disassembly Disassemble(const Architecture &architecture, const char *archive) {
  const auto path = imagetest::FirmwareDir() / architecture.folder / archive;
  const auto result = imagetest::RunCommand(imagetest::LlvmObjdump() + " -d -M intel --no-show-raw-insn --demangle '" +
                                            path.string() + "'");
  EXPECT_EQ(result.exitStatus, 0) << result.output;
  return imagetest::ParseDisassembly(result.output);
}

struct Accessor {
  const char *name;
  const char *width;
  bool write;
};
constexpr Accessor kAccessors[] = {
    {"MmioRead8(", "byte", false}, {"MmioRead16(", "word", false}, {"MmioRead32(", "dword", false},
    {"MmioWrite8(", "byte", true}, {"MmioWrite16(", "word", true}, {"MmioWrite32(", "dword", true},
};

class GeneratedCode : public testing::TestWithParam<Architecture> {
 protected:
  void SetUp() override {
    if (imagetest::LlvmObjdump().empty()) GTEST_SKIP() << "llvm-objdump was not found when the build was configured";
  }
};

// A register access must reach the hardware exactly once, with exactly the
// width the caller named: a merged, split, repeated or read-modify-write
// access changes what the device sees.
TEST_P(GeneratedCode, EachRegisterAccessorIsOneAccessOfItsWidth) {
  const Disassembly hal = Disassemble(GetParam(), "libboard_hal.a");
  for (const auto &accessor : kAccessors) {
    SCOPED_TRACE(accessor.name);
    const auto code = imagetest::FunctionNamed(hal, accessor.name);
    ASSERT_FALSE(code.empty()) << "not found in the hal archive";
    std::vector<Instruction> accesses;
    for (const auto &instruction : code) {
      EXPECT_NE(instruction.mnemonic, "call") << "an accessor calls out: " << instruction.operands;
      if (instruction.TouchesMemoryOutsideTheStack()) accesses.push_back(instruction);
    }
    ASSERT_EQ(accesses.size(), 1u);
    const Instruction &access = accesses.front();
    EXPECT_TRUE(access.mnemonic == "mov" || access.mnemonic == "movzx")
        << access.mnemonic << " " << access.operands << " is not a plain load or store";
    EXPECT_EQ(access.MemoryWidth().value_or("none"), accessor.width) << access.operands;
    EXPECT_EQ(access.WritesMemory(), accessor.write) << access.operands;
  }
}

TEST_P(GeneratedCode, ReadsTheIdtBaseWithSidt) {
  const auto code = imagetest::FunctionNamed(Disassemble(GetParam(), "libboard_hal.a"), "ReadIdtBase(");
  ASSERT_FALSE(code.empty());
  int sidt = 0;
  for (const auto &instruction : code) {
    if (instruction.mnemonic.starts_with("sidt")) ++sidt;
    EXPECT_FALSE(instruction.TouchesMemoryOutsideTheStack()) << instruction.mnemonic << " " << instruction.operands;
  }
  EXPECT_EQ(sidt, 1);
}

// The firmware core does not save SSE, MMX or x87 state for a module.
TEST_P(GeneratedCode, UsesNoFloatingPointOrVectorState) {
  static const std::regex vectorRegister(R"(\b[xyz]?mm[0-9]+\b)");
  for (const char *archive : {"libboard_hal.a", GetParam().moduleArchive}) {
    const Disassembly code = Disassemble(GetParam(), archive);
    EXPECT_FALSE(code.empty()) << archive;
    for (const auto &[function, instructions] : code) {
      for (const auto &instruction : instructions) {
        const std::string text = instruction.mnemonic + " " + instruction.operands;
        EXPECT_FALSE(instruction.mnemonic.starts_with("f")) << function << ": x87 " << text;
        EXPECT_FALSE(std::regex_search(text, vectorRegister)) << function << ": " << text;
        EXPECT_NE(instruction.mnemonic, "emms") << function;
        EXPECT_NE(instruction.mnemonic, "ldmxcsr") << function;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Firmware, GeneratedCode, testing::Values(kX64, kIa32),
                         [](const auto &info) { return std::string(info.param.folder); });

}  // namespace
