// Builds small synthetic PE32/PE32+ images in memory, so that the parser and
// the TE converter can be shown images with exactly one thing wrong.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/image/image_headers.h"
#include "sim/image/pe_format.h"

namespace imagetest {

struct TestSection {
  std::string name;
  std::uint32_t characteristics = 0;
  std::vector<std::uint8_t> data;
  std::uint32_t virtualSize = 0;  // 0: the size of data
};

inline constexpr std::uint32_t kCode =
    boardimage::pe::kSectionCode | boardimage::pe::kSectionRead | boardimage::pe::kSectionExecute;
inline constexpr std::uint32_t kReadOnlyData = boardimage::pe::kSectionInitializedData | boardimage::pe::kSectionRead;
inline constexpr std::uint32_t kWritableData = kReadOnlyData | boardimage::pe::kSectionWrite;

struct TestImage {
  bool pe32Plus = false;
  std::uint16_t machine = boardimage::pe::kMachineI386;
  std::uint16_t subsystem = boardimage::pe::kSubsystemEfiBootServiceDriver;
  std::uint16_t fileCharacteristics = boardimage::pe::kFileExecutableImage;
  std::uint64_t imageBase = 0x00800000;
  std::uint32_t sectionAlignment = 32;
  std::uint32_t fileAlignment = 32;
  std::uint32_t peHeaderOffset = 0x78;  // e_lfanew
  std::uint32_t directoryCount = 16;
  std::uint32_t extraFilePadding = 0;  // bytes inserted before the first section's data
  std::uint32_t entryPoint = 0;        // 0: the first section
  std::array<boardimage::DataDirectory, boardimage::pe::kDataDirectoryCount> directories{};
  std::vector<TestSection> sections;

  // The RVA the section at `index` will get.
  std::uint32_t SectionRva(std::size_t index) const;
  std::uint32_t SectionTableOffset() const;
  std::vector<std::uint8_t> Build() const;
};

// A base relocation block for one page: one 32-bit (HIGHLOW) or 64-bit
// (DIR64) entry per offset, padded to a multiple of 4 bytes.
std::vector<std::uint8_t> RelocationBlock(std::uint32_t pageRva, std::uint8_t type,
                                          const std::vector<std::uint16_t> &offsets);

// An image that executes in place: code with one 32-bit pointer at offset 4
// that a relocation covers, read-only data, and the relocation section.
TestImage ExecuteInPlaceImage();

}  // namespace imagetest
