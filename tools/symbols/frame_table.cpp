#include "tools/symbols/frame_table.h"

#include <algorithm>
#include <map>

#include "sim/image/byte_reader.h"
#include "sim/image/image_headers.h"

namespace boardsymbols {
namespace {

// DWARF register numbers of x86-64, by the register's number in the
// instruction encoding (rax, rcx, rdx, rbx, rsp, rbp, rsi, rdi, r8..r15).
constexpr int kDwarfRegister[16] = {0, 2, 1, 3, 7, 6, 4, 5, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr int kDwarfRsp = 7;
constexpr int kDwarfReturnAddress = 16;

constexpr std::uint8_t kCfaDefCfa = 0x0C;
constexpr std::uint8_t kCfaDefCfaOffset = 0x0E;
constexpr std::uint8_t kCfaOffset = 0x80;       // | register, ULEB128 offset / data alignment
constexpr std::uint8_t kCfaAdvanceLoc1 = 0x02;  // 1-byte delta
constexpr std::uint8_t kCfaAdvanceLoc4 = 0x04;  // 4-byte delta
constexpr std::uint8_t kCfaNop = 0x00;

constexpr std::uint16_t kSymbolRecordSize = 18;

void PutUleb(std::vector<std::uint8_t> &out, std::uint64_t value) {
  do {
    std::uint8_t byte = value & 0x7F;
    value >>= 7;
    if (value != 0) byte |= 0x80;
    out.push_back(byte);
  } while (value != 0);
}

void PutLittle(std::vector<std::uint8_t> &out, std::uint64_t value, unsigned size) {
  for (unsigned i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// An entry of .debug_frame: length, then `body`, padded to 8 bytes.
void PutEntry(std::vector<std::uint8_t> &out, std::vector<std::uint8_t> body) {
  while ((body.size() + 4) % 8 != 0) body.push_back(kCfaNop);
  PutLittle(out, body.size(), 4);
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

std::vector<PrologueStep> ReadPrologue(std::span<const std::uint8_t> bytes) {
  std::vector<PrologueStep> steps;
  std::uint32_t at = 0;
  std::uint32_t pushed = 0;
  auto byte = [&](std::uint32_t i) { return i < bytes.size() ? bytes[i] : std::uint8_t{0}; };
  while (at < bytes.size()) {
    const bool rexB = byte(at) == 0x41;
    const std::uint8_t op = byte(at + (rexB ? 1 : 0));
    if (op >= 0x50 && op <= 0x57) {  // push r64
      at += rexB ? 2 : 1;
      pushed += 8;
      steps.push_back({at, pushed, kDwarfRegister[(op - 0x50) + (rexB ? 8 : 0)]});
      continue;
    }
    if (byte(at) == 0x48 && byte(at + 1) == 0x83 && byte(at + 2) == 0xEC && at + 4 <= bytes.size()) {
      pushed += byte(at + 3);  // sub rsp, imm8 (a positive one: clang never allocates a negative size)
      at += 4;
      steps.push_back({at, pushed, -1});
    } else if (byte(at) == 0x48 && byte(at + 1) == 0x81 && byte(at + 2) == 0xEC && at + 7 <= bytes.size()) {
      pushed += static_cast<std::uint32_t>(byte(at + 3) | byte(at + 4) << 8 | byte(at + 5) << 16 | byte(at + 6) << 24);
      at += 7;
      steps.push_back({at, pushed, -1});
    }
    break;
  }
  return steps;
}

std::vector<FunctionFrame> ReadFunctionFrames(std::span<const std::uint8_t> image) {
  using boardimage::Hex;
  const boardimage::ImageHeaders headers = boardimage::ParseImage(image);
  const boardimage::ByteReader reader(image);
  const std::uint32_t peOffset = reader.U32(0x3C, "e_lfanew");
  const std::uint32_t symbolTable = reader.U32(peOffset + 4 + 8, "PointerToSymbolTable");
  const std::uint32_t symbolCount = reader.U32(peOffset + 4 + 12, "NumberOfSymbols");
  if (symbolTable == 0 || symbolCount == 0)
    throw boardimage::ImageFormatError("the image has no COFF symbol table (link it with /debug:dwarf)");

  // Section numbers are 1-based; the code section is the executable one.
  int codeSection = 0;
  for (std::size_t i = 0; i < headers.sections.size(); ++i)
    if (headers.sections[i].Executable()) codeSection = static_cast<int>(i) + 1;
  if (codeSection == 0) throw boardimage::ImageFormatError("the image has no code section");
  const boardimage::Section &code = headers.sections[static_cast<std::size_t>(codeSection) - 1];

  std::map<std::uint32_t, bool> starts;  // section offsets; folded functions share one
  for (std::uint32_t i = 0; i < symbolCount; ++i) {
    const std::uint64_t record = symbolTable + std::uint64_t{i} * kSymbolRecordSize;
    const std::uint32_t value = reader.U32(record + 8, "symbol value");
    const auto section = static_cast<std::int16_t>(reader.U16(record + 12, "symbol section"));
    const std::uint8_t auxiliaries = reader.U8(record + 17, "symbol auxiliary count");
    if (section == codeSection) {
      if (value >= code.virtualSize)
        throw boardimage::ImageFormatError("symbol " + std::to_string(i) + " at " + Hex(value) +
                                           " lies beyond the code section (" + Hex(code.virtualSize) + " bytes)");
      starts[value] = true;
    }
    i += auxiliaries;
  }

  const std::uint64_t codeFile = headers.FileOffsetOfSection(code);
  const std::span<const std::uint8_t> bytes =
      reader.Bytes(codeFile, std::min(code.virtualSize, code.rawSize), "code section");
  std::vector<FunctionFrame> frames;
  for (auto it = starts.begin(); it != starts.end(); ++it) {
    const auto next = std::next(it);
    const std::uint32_t end = next == starts.end() ? code.virtualSize : next->first;
    FunctionFrame frame;
    frame.start = headers.imageBase + code.virtualAddress + it->first;
    frame.size = end - it->first;
    if (it->first < bytes.size())
      frame.steps = ReadPrologue(bytes.subspan(it->first, std::min<std::size_t>(frame.size, bytes.size() - it->first)));
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::vector<std::uint8_t> EncodeDebugFrame(std::span<const FunctionFrame> frames) {
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> cie;
  PutLittle(cie, 0xFFFFFFFF, 4);  // CIE id
  cie.push_back(1);               // version
  cie.push_back(0);               // no augmentation
  PutUleb(cie, 1);                // code alignment
  cie.push_back(0x78);            // data alignment -8 (SLEB128)
  cie.push_back(kDwarfReturnAddress);
  cie.push_back(kCfaDefCfa);
  PutUleb(cie, kDwarfRsp);
  PutUleb(cie, 8);
  cie.push_back(kCfaOffset | kDwarfReturnAddress);
  PutUleb(cie, 1);
  PutEntry(out, std::move(cie));

  for (const FunctionFrame &frame : frames) {
    std::vector<std::uint8_t> fde;
    PutLittle(fde, 0, 4);  // the CIE at offset 0
    PutLittle(fde, frame.start, 8);
    PutLittle(fde, frame.size, 8);
    std::uint32_t at = 0;
    for (const PrologueStep &step : frame.steps) {
      if (step.end >= frame.size) break;
      const std::uint32_t delta = step.end - at;
      if (delta <= 0xFF) {
        fde.push_back(kCfaAdvanceLoc1);
        fde.push_back(static_cast<std::uint8_t>(delta));
      } else {
        fde.push_back(kCfaAdvanceLoc4);
        PutLittle(fde, delta, 4);
      }
      at = step.end;
      fde.push_back(kCfaDefCfaOffset);
      PutUleb(fde, step.pushed + 8);
      if (step.reg >= 0) {
        fde.push_back(static_cast<std::uint8_t>(kCfaOffset | step.reg));
        PutUleb(fde, (step.pushed + 8) / 8);
      }
    }
    PutEntry(out, std::move(fde));
  }
  return out;
}

}  // namespace boardsymbols
