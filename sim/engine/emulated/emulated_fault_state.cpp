// The registers and call chain a fault leaves, read from the stopped CPU.
#include <array>

#include "sim/engine/emulated/emulated_machine.h"

namespace boardsim {
namespace {

using emulated::FaultState;

struct NamedRegister {
  const char *name;
  int id;
};

constexpr std::array<NamedRegister, 18> kX64Registers = {{
    {"rax", UC_X86_REG_RAX},
    {"rbx", UC_X86_REG_RBX},
    {"rcx", UC_X86_REG_RCX},
    {"rdx", UC_X86_REG_RDX},
    {"rsi", UC_X86_REG_RSI},
    {"rdi", UC_X86_REG_RDI},
    {"rbp", UC_X86_REG_RBP},
    {"rsp", UC_X86_REG_RSP},
    {"r8", UC_X86_REG_R8},
    {"r9", UC_X86_REG_R9},
    {"r10", UC_X86_REG_R10},
    {"r11", UC_X86_REG_R11},
    {"r12", UC_X86_REG_R12},
    {"r13", UC_X86_REG_R13},
    {"r14", UC_X86_REG_R14},
    {"r15", UC_X86_REG_R15},
    {"rip", UC_X86_REG_RIP},
    {"rflags", UC_X86_REG_EFLAGS},
}};
constexpr std::array<NamedRegister, 10> kIa32Registers = {{
    {"eax", UC_X86_REG_EAX},
    {"ebx", UC_X86_REG_EBX},
    {"ecx", UC_X86_REG_ECX},
    {"edx", UC_X86_REG_EDX},
    {"esi", UC_X86_REG_ESI},
    {"edi", UC_X86_REG_EDI},
    {"ebp", UC_X86_REG_EBP},
    {"esp", UC_X86_REG_ESP},
    {"eip", UC_X86_REG_EIP},
    {"eflags", UC_X86_REG_EFLAGS},
}};

// True if the bytes before `code[size]` end with a call instruction: a
// relative call, or an indirect one through a register, a register plus
// displacement, or a RIP-relative or absolute slot.
bool EndsWithCall(const std::uint8_t *code, std::size_t size) {
  auto at = [&](std::size_t back) { return back <= size ? code[size - back] : std::uint8_t{0}; };
  auto isCall = [](std::uint8_t modrm) { return ((modrm >> 3) & 7) == 2; };
  if (at(5) == 0xE8) return true;                                                            // call rel32
  if (at(2) == 0xFF && isCall(at(1)) && (at(1) >> 6) == 3) return true;                      // call reg
  if (at(3) == 0xFF && isCall(at(2)) && (at(2) >> 6) == 1 && (at(2) & 7) != 4) return true;  // [reg+d8]
  if (at(4) == 0xFF && isCall(at(3)) && (at(3) >> 6) == 1 && (at(3) & 7) == 4) return true;  // [sib+d8]
  if (at(6) == 0xFF && isCall(at(5)) && ((at(5) >> 6) == 2 || (at(5) & 0xC7) == 0x05))
    return (at(5) & 7) != 4 || (at(5) >> 6) == 0;  // [reg+d32], [rip+d32] / [d32]
  if (at(7) == 0xFF && isCall(at(6)) && (at(6) >> 6) == 2 && (at(6) & 7) == 4) return true;  // [sib+d32]
  return false;
}

}  // namespace

bool EmulatedMachine::InModuleCode(GuestAddr address) const {
  if (!loaded_) return false;
  for (const auto &[start, size] : loaded_->executable)
    if (address >= start && address - start < size) return true;
  return false;
}

void EmulatedMachine::RecordFault(const std::string &message, GuestAddr pc) {
  if (!faultLog_ || !loaded_) return;
  FaultState state;
  state.module = loaded_->name;
  state.message = message;
  state.pointerSize = pointerSize_;
  state.pc = pc;
  state.relocation = ModuleRelocation();
  const auto registers = pointerSize_ == 8 ? std::span<const NamedRegister>(kX64Registers)
                                           : std::span<const NamedRegister>(kIa32Registers);
  for (const auto &[name, id] : registers) {
    std::uint64_t value = 0;
    uc_reg_read(uc_, id, &value);
    state.registers.emplace_back(name, pointerSize_ == 8 ? value : value & 0xFFFFFFFFu);
  }
  if (pointerSize_ == 4)
    state.registers[8].second = pc;  // the faulting instruction, where the CPU may have moved on
  else
    state.registers[16].second = pc;

  const GuestAddr sp = Reg(Register::Sp);
  const emulated::MappedRegion *stack = memory_->RegionAt(sp);
  const bool onStack = stack != nullptr && stack->kind == emulated::RegionKind::Stack;
  auto word = [&](GuestAddr address, std::uint64_t &value) {
    if (!onStack || !stack->Contains(address) || !stack->Contains(address + pointerSize_ - 1)) return false;
    value = 0;
    return ReadMemory(address, std::span(reinterpret_cast<std::uint8_t *>(&value), pointerSize_)) == pointerSize_;
  };
  if (pointerSize_ == 4) {
    // BoardPei keeps frame pointers: [ebp] is the caller's ebp, [ebp+4] the return address.
    state.chainMethod = "saved frame pointers";
    std::uint64_t frame = state.registers[6].second;
    while (state.returnAddresses.size() < emulated::kMostFrames) {
      std::uint64_t saved = 0;
      std::uint64_t back = 0;
      if (frame % 4 != 0 || !word(frame, saved) || !word(frame + 4, back) || !InModuleCode(back)) break;
      state.returnAddresses.push_back(back);
      if (saved <= frame) break;
      frame = saved;
    }
  } else {
    // BoardDxe's frame pointer does not lead to the saved one: scan the stack.
    state.chainMethod = "stack scan";
    constexpr std::uint64_t kScanned = 8192;
    for (GuestAddr at = sp; onStack && at - sp < kScanned && state.returnAddresses.size() < emulated::kMostFrames;
         at += 8) {
      std::uint64_t value = 0;
      if (!word(at, value)) break;
      if (!InModuleCode(value)) continue;
      std::array<std::uint8_t, 7> before{};
      if (value < before.size() || ReadMemory(value - before.size(), before) != before.size()) continue;
      if (EndsWithCall(before.data(), before.size())) state.returnAddresses.push_back(value);
    }
  }
  state.described.push_back(Describe(pc));
  for (const auto back : state.returnAddresses) state.described.push_back(Describe(back));
  faultLog_->Add(std::move(state));
}

}  // namespace boardsim
