// The headers of a PE32, PE32+ or TE image, read by our own parser: the
// converter builds on it, the size report prints it and the image tests
// check the firmware images with it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/image/pe_format.h"

namespace boardimage {

enum class ImageFormat { Pe32, Pe32Plus, Te };
std::string_view FormatName(ImageFormat format);      // "PE32", "PE32+", "TE"
std::string_view MachineName(std::uint16_t machine);  // "IA-32", "x64", or "unknown"

struct DataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

struct Section {
  std::string name;
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawOffset = 0;  // PointerToRawData as stored: a PE file offset, also in a TE image
  std::uint32_t characteristics = 0;

  bool Readable() const { return (characteristics & pe::kSectionRead) != 0; }
  bool Writable() const { return (characteristics & pe::kSectionWrite) != 0; }
  bool Executable() const { return (characteristics & pe::kSectionExecute) != 0; }
  bool HoldsUninitializedData() const { return (characteristics & pe::kSectionUninitializedData) != 0; }
  // "R-X", "RW-": how the section is mapped.
  std::string Permissions() const;
};

struct ImageHeaders {
  ImageFormat format = ImageFormat::Pe32;
  std::uint16_t machine = 0;
  std::uint16_t subsystem = 0;
  std::uint64_t imageBase = 0;
  std::uint32_t entryPoint = 0;  // RVA
  std::uint32_t baseOfCode = 0;  // RVA
  // Directories by their PE index; a TE image has only the base relocation
  // and debug directories.
  std::array<DataDirectory, pe::kDataDirectoryCount> directories{};
  std::vector<Section> sections;
  std::uint32_t sectionTableOffset = 0;  // file offset of the first section header

  // PE only (zero in a TE image, which does not keep them).
  std::uint16_t fileCharacteristics = 0;
  std::uint16_t dllCharacteristics = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t fileAlignment = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::uint32_t directoryCount = 0;  // NumberOfRvaAndSizes
  std::uint16_t majorImageVersion = 0;
  std::uint16_t minorImageVersion = 0;

  // TE only: bytes of the original PE headers replaced by the TE header.
  std::uint32_t strippedSize = 0;

  const DataDirectory &Directory(std::size_t index) const { return directories[index]; }
  // Where a section's raw data starts in this file: TE images keep the PE
  // file offsets in their section headers.
  std::uint64_t FileOffsetOfSection(const Section &section) const;
  // The file offset of `size` bytes at `rva`, if one section's file data
  // holds all of them.
  std::optional<std::uint64_t> FileOffsetOf(std::uint32_t rva, std::uint32_t size) const;
  // The section whose memory range holds `rva`.
  const Section *SectionAt(std::uint32_t rva) const;
};

// Parses the headers of an image file. Throws ImageFormatError saying which
// field is wrong and where, for anything that is not a well-formed PE32,
// PE32+ or TE image (bad signature, headers or section data beyond the end of
// the file, more than 16 data directories).
ImageHeaders ParseImage(std::span<const std::uint8_t> file);

}  // namespace boardimage
