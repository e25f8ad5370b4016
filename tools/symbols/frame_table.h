// The call frames of BoardDxe's functions, for gdb. The x64 image is built
// without unwind tables (they cost flash), and its frame pointer does not
// point at the saved one, so gdb cannot walk its stack on its own. This reads
// each function's prologue in the DWARF-linked image (the pushes and the stack
// allocation clang emits for x64 Windows code) and writes the frames as a
// DWARF .debug_frame section, which the build adds to the ELF symbol file.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace boardsymbols {

// One step of a prologue: after `end` bytes of the function, `pushed` bytes
// are on the stack besides the return address; `reg` is the DWARF number of
// the register just pushed, or -1 after the stack allocation.
struct PrologueStep {
  std::uint32_t end = 0;
  std::uint32_t pushed = 0;
  int reg = -1;
};

struct FunctionFrame {
  std::uint64_t start = 0;  // linked virtual address
  std::uint32_t size = 0;
  std::vector<PrologueStep> steps;
};

// The prologue of the code in `bytes`: register pushes (push r64) and one
// stack allocation (sub rsp, imm8/imm32), stopping at the first other
// instruction. The frame it describes holds from there to the epilogue.
std::vector<PrologueStep> ReadPrologue(std::span<const std::uint8_t> bytes);

// The functions of a linked x64 PE32+ image with a COFF symbol table (lld-link
// /debug:dwarf): every symbol in the code section starts one; it ends where
// the next starts. Throws boardimage::ImageFormatError on a malformed image.
std::vector<FunctionFrame> ReadFunctionFrames(std::span<const std::uint8_t> image);

// The .debug_frame section: one CIE (CFA = rsp + 8 on entry, return address
// at CFA - 8) and one FDE per function.
std::vector<std::uint8_t> EncodeDebugFrame(std::span<const FunctionFrame> frames);

}  // namespace boardsymbols
