#include "sim/debug/gdb_registers.h"

#include <unicorn/unicorn.h>

#include <array>

namespace boardsim::gdb {
namespace {

// gdb checks registers by name and number against its own layout of each
// architecture: general registers, then the x87 unit, then SSE.
#define GP64(name, id) \
  RegisterDef { name, 64, id, "int64", "core" }
#define GP32(name, id) \
  RegisterDef { name, 32, id, "int32", "core" }
#define X87_REGISTERS                                                                                          \
  RegisterDef{"st0", 80, UC_X86_REG_ST0, "i387_ext", "core"},                                                  \
      RegisterDef{"st1", 80, UC_X86_REG_ST1, "i387_ext", "core"},                                              \
      RegisterDef{"st2", 80, UC_X86_REG_ST2, "i387_ext", "core"},                                              \
      RegisterDef{"st3", 80, UC_X86_REG_ST3, "i387_ext", "core"},                                              \
      RegisterDef{"st4", 80, UC_X86_REG_ST4, "i387_ext", "core"},                                              \
      RegisterDef{"st5", 80, UC_X86_REG_ST5, "i387_ext", "core"},                                              \
      RegisterDef{"st6", 80, UC_X86_REG_ST6, "i387_ext", "core"},                                              \
      RegisterDef{"st7", 80, UC_X86_REG_ST7, "i387_ext", "core"}, GP32("fctrl", UC_X86_REG_FPCW),              \
      GP32("fstat", UC_X86_REG_FPSW), GP32("ftag", UC_X86_REG_FPTAG), GP32("fiseg", UC_X86_REG_INVALID),       \
      GP32("fioff", UC_X86_REG_INVALID), GP32("foseg", UC_X86_REG_INVALID), GP32("fooff", UC_X86_REG_INVALID), \
      GP32("fop", UC_X86_REG_INVALID)
#define XMM(n) \
  RegisterDef { "xmm" #n, 128, UC_X86_REG_XMM##n, "uint128", "sse" }

constexpr std::array kDxeRegisters = {
    GP64("rax", UC_X86_REG_RAX),
    GP64("rbx", UC_X86_REG_RBX),
    GP64("rcx", UC_X86_REG_RCX),
    GP64("rdx", UC_X86_REG_RDX),
    GP64("rsi", UC_X86_REG_RSI),
    GP64("rdi", UC_X86_REG_RDI),
    RegisterDef{"rbp", 64, UC_X86_REG_RBP, "data_ptr", "core"},
    RegisterDef{"rsp", 64, UC_X86_REG_RSP, "data_ptr", "core"},
    GP64("r8", UC_X86_REG_R8),
    GP64("r9", UC_X86_REG_R9),
    GP64("r10", UC_X86_REG_R10),
    GP64("r11", UC_X86_REG_R11),
    GP64("r12", UC_X86_REG_R12),
    GP64("r13", UC_X86_REG_R13),
    GP64("r14", UC_X86_REG_R14),
    GP64("r15", UC_X86_REG_R15),
    RegisterDef{"rip", 64, UC_X86_REG_RIP, "code_ptr", "core"},
    GP32("eflags", UC_X86_REG_EFLAGS),
    GP32("cs", UC_X86_REG_CS),
    GP32("ss", UC_X86_REG_SS),
    GP32("ds", UC_X86_REG_DS),
    GP32("es", UC_X86_REG_ES),
    GP32("fs", UC_X86_REG_FS),
    GP32("gs", UC_X86_REG_GS),
    X87_REGISTERS,
    XMM(0),
    XMM(1),
    XMM(2),
    XMM(3),
    XMM(4),
    XMM(5),
    XMM(6),
    XMM(7),
    XMM(8),
    XMM(9),
    XMM(10),
    XMM(11),
    XMM(12),
    XMM(13),
    XMM(14),
    XMM(15),
    RegisterDef{"mxcsr", 32, UC_X86_REG_MXCSR, "int32", "sse"},
};

constexpr std::array kPeiRegisters = {
    GP32("eax", UC_X86_REG_EAX),
    GP32("ecx", UC_X86_REG_ECX),
    GP32("edx", UC_X86_REG_EDX),
    GP32("ebx", UC_X86_REG_EBX),
    RegisterDef{"esp", 32, UC_X86_REG_ESP, "data_ptr", "core"},
    RegisterDef{"ebp", 32, UC_X86_REG_EBP, "data_ptr", "core"},
    GP32("esi", UC_X86_REG_ESI),
    GP32("edi", UC_X86_REG_EDI),
    RegisterDef{"eip", 32, UC_X86_REG_EIP, "code_ptr", "core"},
    GP32("eflags", UC_X86_REG_EFLAGS),
    GP32("cs", UC_X86_REG_CS),
    GP32("ss", UC_X86_REG_SS),
    GP32("ds", UC_X86_REG_DS),
    GP32("es", UC_X86_REG_ES),
    GP32("fs", UC_X86_REG_FS),
    GP32("gs", UC_X86_REG_GS),
    X87_REGISTERS,
    XMM(0),
    XMM(1),
    XMM(2),
    XMM(3),
    XMM(4),
    XMM(5),
    XMM(6),
    XMM(7),
    RegisterDef{"mxcsr", 32, UC_X86_REG_MXCSR, "int32", "sse"},
};

#undef GP64
#undef GP32
#undef X87_REGISTERS
#undef XMM

}  // namespace

std::span<const RegisterDef> RegistersOf(Phase phase) {
  if (phase == Phase::Dxe) return kDxeRegisters;
  return kPeiRegisters;
}

unsigned PcRegister(Phase phase) { return phase == Phase::Dxe ? 16 : 8; }

std::string TargetXml(Phase phase) {
  std::string xml =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE target SYSTEM \"gdb-target.dtd\">\n<target version=\"1.0\">\n"
      "<architecture>";
  xml += phase == Phase::Dxe ? "i386:x86-64" : "i386";
  xml += "</architecture>\n";
  const auto registers = RegistersOf(phase);
  for (const char *feature : {"core", "sse"}) {
    xml += std::string("<feature name=\"org.gnu.gdb.i386.") + feature + "\">\n";
    for (std::size_t n = 0; n < registers.size(); ++n) {
      const RegisterDef &reg = registers[n];
      if (std::string_view(reg.feature) != feature) continue;
      const bool sse = std::string_view(reg.feature) == "sse";
      const bool x87 = n >= PcRegister(phase) + 8 && !sse;
      xml += std::string("  <reg name=\"") + reg.name + "\" bitsize=\"" + std::to_string(reg.bits) + "\" type=\"" +
             reg.type + "\" regnum=\"" + std::to_string(n) + "\"" +
             (sse   ? " group=\"vector\""
              : x87 ? " group=\"float\""
                    : "") +
             "/>\n";
    }
    xml += "</feature>\n";
  }
  xml += "</target>\n";
  return xml;
}

}  // namespace boardsim::gdb
