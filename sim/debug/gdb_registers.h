// The registers gdb sees, in the order of its 'g' packet, and the target
// description that tells gdb so: x86-64 for BoardDxe, IA-32 for BoardPei.
#pragma once

#include <span>
#include <string>

#include "sim/base/machine.h"

namespace boardsim::gdb {

struct RegisterDef {
  const char *name;
  unsigned bits;
  int emulatorId;  // the CPU emulator's register id; UC_X86_REG_INVALID: reads as zero
  const char *type;
  const char *feature;  // "core" or "sse"
};

std::span<const RegisterDef> RegistersOf(Phase phase);
// The number of the program counter in RegistersOf(phase).
unsigned PcRegister(Phase phase);
std::string TargetXml(Phase phase);

}  // namespace boardsim::gdb
