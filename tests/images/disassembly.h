// Reads llvm-objdump's Intel-syntax disassembly of an object or archive into
// functions and instructions, for checks on the code the compiler generated.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace imagetest {

struct Instruction {
  std::string mnemonic;
  std::string operands;

  // A memory operand other than the stack ([esp..], [rsp..], [ebp..],
  // [rbp..]): what the instruction touches outside the function's frame.
  // lea computes an address and touches nothing.
  bool TouchesMemoryOutsideTheStack() const;
  // "byte", "word", "dword", "qword" of the memory operand, if any.
  std::optional<std::string> MemoryWidth() const;
  // True if the memory operand is the destination (the first operand).
  bool WritesMemory() const;
};

// Function name (demangled, as llvm-objdump prints it) to its instructions.
using Disassembly = std::map<std::string, std::vector<Instruction>>;

Disassembly ParseDisassembly(const std::string &objdumpOutput);

// The instructions of the one function whose name contains `fragment`
// ("MmioRead8("); empty if none or several match.
std::vector<Instruction> FunctionNamed(const Disassembly &disassembly, const std::string &fragment);

}  // namespace imagetest
