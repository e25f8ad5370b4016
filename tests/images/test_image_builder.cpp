#include "test_image_builder.h"

#include <algorithm>

#include "sim/image/byte_reader.h"

namespace imagetest {

namespace pe = boardimage::pe;

namespace {

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

std::uint32_t VirtualSize(const TestSection &section) {
  return section.virtualSize != 0 ? section.virtualSize : static_cast<std::uint32_t>(section.data.size());
}

}  // namespace

std::uint32_t TestImage::SectionTableOffset() const {
  const std::uint32_t optionalSize = (pe32Plus ? 112u : 96u) + 8 * directoryCount;
  return peHeaderOffset + 4 + pe::kFileHeaderSize + optionalSize;
}

std::uint32_t TestImage::SectionRva(std::size_t index) const {
  const std::uint32_t headers =
      SectionTableOffset() + pe::kSectionHeaderSize * static_cast<std::uint32_t>(sections.size());
  std::uint32_t rva = AlignUp(headers, sectionAlignment);
  for (std::size_t i = 0; i < index; ++i) rva = AlignUp(rva + VirtualSize(sections[i]), sectionAlignment);
  return rva;
}

std::vector<std::uint8_t> TestImage::Build() const {
  const auto count = static_cast<std::uint32_t>(sections.size());
  const std::uint32_t headers = SectionTableOffset() + pe::kSectionHeaderSize * count;
  std::vector<std::uint32_t> rawOffsets;
  std::uint32_t fileEnd = AlignUp(headers, fileAlignment) + extraFilePadding;
  for (const auto &section : sections) {
    rawOffsets.push_back(fileEnd);
    fileEnd = AlignUp(fileEnd + static_cast<std::uint32_t>(section.data.size()), fileAlignment);
  }
  const std::uint32_t sizeOfImage =
      count == 0 ? AlignUp(headers, sectionAlignment)
                 : AlignUp(SectionRva(count - 1) + VirtualSize(sections.back()), sectionAlignment);

  std::vector<std::uint8_t> file(fileEnd);
  boardimage::PutU16(file, 0, pe::kDosSignature);
  boardimage::PutU32(file, pe::kDosNewHeaderOffsetField, peHeaderOffset);
  boardimage::PutU32(file, peHeaderOffset, pe::kPeSignature);
  const std::uint32_t fileHeader = peHeaderOffset + 4;
  boardimage::PutU16(file, fileHeader, machine);
  boardimage::PutU16(file, fileHeader + 2, static_cast<std::uint16_t>(count));
  boardimage::PutU16(file, fileHeader + 16, static_cast<std::uint16_t>(SectionTableOffset() - fileHeader - 20));
  boardimage::PutU16(file, fileHeader + 18, fileCharacteristics);

  const std::uint32_t optional = fileHeader + pe::kFileHeaderSize;
  boardimage::PutU16(file, optional, pe32Plus ? pe::kMagicPe32Plus : pe::kMagicPe32);
  const std::uint32_t firstRva = count == 0 ? 0 : SectionRva(0);
  boardimage::PutU32(file, optional + 16, entryPoint != 0 ? entryPoint : firstRva);
  boardimage::PutU32(file, optional + 20, firstRva);
  if (pe32Plus) {
    boardimage::PutU64(file, optional + 24, imageBase);
  } else {
    boardimage::PutU32(file, optional + 28, static_cast<std::uint32_t>(imageBase));
  }
  boardimage::PutU32(file, optional + 32, sectionAlignment);
  boardimage::PutU32(file, optional + 36, fileAlignment);
  boardimage::PutU32(file, optional + 56, sizeOfImage);
  boardimage::PutU32(file, optional + 60, AlignUp(headers, fileAlignment));
  boardimage::PutU16(file, optional + 68, subsystem);
  const std::uint32_t directoryTable = optional + (pe32Plus ? 112 : 96);
  boardimage::PutU32(file, directoryTable - 4, directoryCount);
  for (std::uint32_t i = 0; i < directoryCount && i < pe::kDataDirectoryCount; ++i) {
    boardimage::PutU32(file, directoryTable + 8 * i, directories[i].rva);
    boardimage::PutU32(file, directoryTable + 8 * i + 4, directories[i].size);
  }

  for (std::uint32_t i = 0; i < count; ++i) {
    const auto &section = sections[i];
    const std::uint32_t at = SectionTableOffset() + pe::kSectionHeaderSize * i;
    std::copy_n(section.name.begin(), std::min<std::size_t>(section.name.size(), 8), file.begin() + at);
    boardimage::PutU32(file, at + 8, VirtualSize(section));
    boardimage::PutU32(file, at + 12, SectionRva(i));
    boardimage::PutU32(file, at + 16, AlignUp(static_cast<std::uint32_t>(section.data.size()), fileAlignment));
    boardimage::PutU32(file, at + 20, section.data.empty() ? 0 : rawOffsets[i]);
    boardimage::PutU32(file, at + 36, section.characteristics);
    std::copy(section.data.begin(), section.data.end(), file.begin() + rawOffsets[i]);
  }
  return file;
}

std::vector<std::uint8_t> RelocationBlock(std::uint32_t pageRva, std::uint8_t type,
                                          const std::vector<std::uint16_t> &offsets) {
  const std::size_t entries = (offsets.size() + 1) / 2 * 2;
  std::vector<std::uint8_t> block(8 + 2 * entries);
  boardimage::PutU32(block, 0, pageRva);
  boardimage::PutU32(block, 4, static_cast<std::uint32_t>(block.size()));
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    boardimage::PutU16(block, 8 + 2 * i, static_cast<std::uint16_t>(type << 12 | offsets[i]));
  }
  return block;
}

TestImage ExecuteInPlaceImage() {
  TestImage image;
  image.sections = {{".text", kCode, std::vector<std::uint8_t>(64, 0x90)},
                    {".rdata", kReadOnlyData, std::vector<std::uint8_t>(16, 0x5A)},
                    {".reloc", kReadOnlyData | pe::kSectionDiscardable, {}}};
  const std::uint32_t text = image.SectionRva(0);
  // The code holds the address of its own read-only data, as a pointer table would.
  boardimage::PutU32(image.sections[0].data, 4, static_cast<std::uint32_t>(image.imageBase) + image.SectionRva(1));
  image.sections[2].data = RelocationBlock(text, pe::kRelocationHighLow, {4});
  image.directories[pe::kDirectoryBaseRelocation] = {image.SectionRva(2),
                                                     static_cast<std::uint32_t>(image.sections[2].data.size())};
  return image;
}

}  // namespace imagetest
