// The symbol files describe the shipped code: each section of BoardDxe.efi
// and BoardPei.te holds the same bytes, at the same address, in its ELF
// symbol file. The one range allowed to differ is the debug directory, which
// a DWARF link always extends with a CodeView entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "sim/image/byte_reader.h"
#include "sim/image/image_headers.h"
#include "tests/images/built_images.h"

namespace {

struct ElfSection {
  std::uint64_t address = 0;
  std::span<const std::uint8_t> bytes;
};

// The named sections of a little-endian ELF32 or ELF64 file.
std::map<std::string, ElfSection> ElfSections(std::span<const std::uint8_t> file) {
  const boardimage::ByteReader r(file);
  const bool wide = r.U8(4, "EI_CLASS") == 2;
  const std::uint64_t table = wide ? r.U64(0x28, "e_shoff") : r.U32(0x20, "e_shoff");
  const std::uint16_t entry = r.U16(wide ? 0x3A : 0x2E, "e_shentsize");
  const std::uint16_t count = r.U16(wide ? 0x3C : 0x30, "e_shnum");
  const std::uint16_t names = r.U16(wide ? 0x3E : 0x32, "e_shstrndx");
  auto header = [&](std::uint64_t i, unsigned field32, unsigned field64) {
    const std::uint64_t at = table + i * entry;
    return wide ? r.U64(at + field64, "section field") : std::uint64_t{r.U32(at + field32, "section field")};
  };
  const std::uint64_t namesAt = header(names, 0x10, 0x18);
  std::map<std::string, ElfSection> sections;
  for (std::uint16_t i = 1; i < count; ++i) {
    std::string name;
    for (std::uint64_t at = namesAt + r.U32(table + i * entry, "sh_name"); r.U8(at, "name") != 0; ++at)
      name += static_cast<char>(r.U8(at, "name"));
    const std::uint64_t offset = header(i, 0x10, 0x18);
    const std::uint64_t size = header(i, 0x14, 0x20);
    sections[name] = {header(i, 0x0C, 0x10), r.Bytes(offset, size, name)};
  }
  return sections;
}

TEST(SymbolFiles, HoldEveryShippedSectionByteForByte) {
  struct Case {
    const char *image;
    const char *symbols;
    bool relocationsKept;  // the PEI symbol file, linked at a lower base, leaves them out
  };
  for (const Case c : {Case{"BoardDxe.efi", "BoardDxe.debug", true}, Case{"BoardPei.te", "BoardPei.debug", false}}) {
    SCOPED_TRACE(c.image);
    const std::vector<std::uint8_t> image = imagetest::ReadBuiltFile(c.image);
    const std::vector<std::uint8_t> symbols = imagetest::ReadBuiltFile(c.symbols);
    const boardimage::ImageHeaders headers = boardimage::ParseImage(image);
    const auto elf = ElfSections(symbols);
    ASSERT_TRUE(elf.contains(".debug_info"));
    ASSERT_TRUE(elf.contains(".debug_line"));
    const boardimage::DataDirectory debug = headers.Directory(6);
    int compared = 0;
    for (const boardimage::Section &section : headers.sections) {
      SCOPED_TRACE(section.name);
      if (section.name == ".reloc" && !c.relocationsKept) continue;
      ASSERT_TRUE(elf.contains(section.name));
      const ElfSection &copy = elf.at(section.name);
      EXPECT_EQ(copy.address, headers.imageBase + section.virtualAddress);
      const std::uint32_t size = std::min(section.virtualSize, section.rawSize);
      ASSERT_GE(copy.bytes.size(), size);
      const auto shipped = std::span(image).subspan(headers.FileOffsetOfSection(section), size);
      for (std::uint32_t i = 0; i < size; ++i) {
        const std::uint32_t rva = section.virtualAddress + i;
        if (rva >= debug.rva && rva < debug.rva + debug.size) continue;
        ASSERT_EQ(shipped[i], copy.bytes[i]) << "at " << section.name << "+0x" << std::hex << i;
      }
      ++compared;
    }
    EXPECT_GE(compared, 1);
  }
}

}  // namespace
