#include "sim/image/image_headers.h"

#include "sim/image/byte_reader.h"

namespace boardimage {

std::string_view FormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::Pe32:
      return "PE32";
    case ImageFormat::Pe32Plus:
      return "PE32+";
    case ImageFormat::Te:
      return "TE";
  }
  return "unknown";
}

std::string_view MachineName(std::uint16_t machine) {
  switch (machine) {
    case pe::kMachineI386:
      return "IA-32";
    case pe::kMachineX64:
      return "x64";
    default:
      return "unknown";
  }
}

std::string Section::Permissions() const {
  return std::string{Readable() ? 'R' : '-', Writable() ? 'W' : '-', Executable() ? 'X' : '-'};
}

std::uint64_t ImageHeaders::FileOffsetOfSection(const Section &section) const {
  if (format == ImageFormat::Te) return std::uint64_t{section.rawOffset} - strippedSize + pe::kTeHeaderSize;
  return section.rawOffset;
}

std::optional<std::uint64_t> ImageHeaders::FileOffsetOf(std::uint32_t rva, std::uint32_t size) const {
  for (const auto &section : sections) {
    const std::uint64_t start = section.virtualAddress;
    if (rva >= start && std::uint64_t{rva} + size <= start + section.rawSize) {
      return FileOffsetOfSection(section) + (rva - start);
    }
  }
  return std::nullopt;
}

const Section *ImageHeaders::SectionAt(std::uint32_t rva) const {
  for (const auto &section : sections) {
    if (rva >= section.virtualAddress && rva - section.virtualAddress < section.virtualSize) return &section;
  }
  return nullptr;
}

namespace {

void ReadSectionTable(const ByteReader &file, ImageHeaders &headers, unsigned count) {
  // The table must start in the file even when it is empty: the tools keep
  // everything from it on.
  file.Bytes(headers.sectionTableOffset, 0, "section table");
  for (unsigned i = 0; i < count; ++i) {
    const std::uint64_t at = std::uint64_t{headers.sectionTableOffset} + std::uint64_t{i} * pe::kSectionHeaderSize;
    const std::string field = "section header " + std::to_string(i + 1);
    const auto nameBytes = file.Bytes(at, 8, field);
    Section section;
    for (auto byte : nameBytes) {
      if (byte == 0) break;
      section.name.push_back(static_cast<char>(byte));
    }
    section.virtualSize = file.U32(at + 8, field);
    section.virtualAddress = file.U32(at + 12, field);
    section.rawSize = file.U32(at + 16, field);
    section.rawOffset = file.U32(at + 20, field);
    section.characteristics = file.U32(at + 36, field);
    headers.sections.push_back(section);
  }
  for (const auto &section : headers.sections) {
    if (section.rawSize == 0) continue;
    if (headers.format == ImageFormat::Te &&
        section.rawOffset + std::uint64_t{pe::kTeHeaderSize} < headers.strippedSize) {
      throw ImageFormatError("section " + section.name + ": its data (PE file offset " + Hex(section.rawOffset) +
                             ") would lie inside the stripped headers (" + Hex(headers.strippedSize) + " bytes)");
    }
    file.Bytes(headers.FileOffsetOfSection(section), section.rawSize, "data of section " + section.name);
  }
}

ImageHeaders ParseTe(const ByteReader &file) {
  ImageHeaders headers;
  headers.format = ImageFormat::Te;
  headers.machine = file.U16(2, "TE header Machine");
  const unsigned sectionCount = file.U8(4, "TE header NumberOfSections");
  headers.subsystem = file.U8(5, "TE header Subsystem");
  headers.strippedSize = file.U16(6, "TE header StrippedSize");
  headers.entryPoint = file.U32(8, "TE header AddressOfEntryPoint");
  headers.baseOfCode = file.U32(12, "TE header BaseOfCode");
  headers.imageBase = file.U64(16, "TE header ImageBase");
  headers.directories[pe::kDirectoryBaseRelocation] = {file.U32(24, "TE base relocation directory"),
                                                       file.U32(28, "TE base relocation directory")};
  headers.directories[pe::kDirectoryDebug] = {file.U32(32, "TE debug directory"), file.U32(36, "TE debug directory")};
  headers.directoryCount = 2;
  headers.sectionTableOffset = pe::kTeHeaderSize;
  ReadSectionTable(file, headers, sectionCount);
  return headers;
}

ImageHeaders ParsePe(const ByteReader &file) {
  ImageHeaders headers;
  const std::uint32_t peOffset = file.U32(pe::kDosNewHeaderOffsetField, "DOS header e_lfanew");
  if (file.U32(peOffset, "PE signature") != pe::kPeSignature) {
    throw ImageFormatError("no PE signature at offset " + Hex(peOffset) + " (the DOS header's e_lfanew)");
  }
  const std::uint64_t fileHeader = std::uint64_t{peOffset} + 4;
  headers.machine = file.U16(fileHeader, "file header Machine");
  const unsigned sectionCount = file.U16(fileHeader + 2, "file header NumberOfSections");
  const std::uint16_t optionalSize = file.U16(fileHeader + 16, "file header SizeOfOptionalHeader");
  headers.fileCharacteristics = file.U16(fileHeader + 18, "file header Characteristics");

  const std::uint64_t optional = fileHeader + pe::kFileHeaderSize;
  const std::uint16_t magic = file.U16(optional, "optional header Magic");
  std::uint64_t directoryTable = 0;
  if (magic == pe::kMagicPe32) {
    headers.format = ImageFormat::Pe32;
    headers.imageBase = file.U32(optional + 28, "optional header ImageBase");
    headers.directoryCount = file.U32(optional + 92, "optional header NumberOfRvaAndSizes");
    directoryTable = optional + 96;
  } else if (magic == pe::kMagicPe32Plus) {
    headers.format = ImageFormat::Pe32Plus;
    headers.imageBase = file.U64(optional + 24, "optional header ImageBase");
    headers.directoryCount = file.U32(optional + 108, "optional header NumberOfRvaAndSizes");
    directoryTable = optional + 112;
  } else {
    throw ImageFormatError("optional header Magic " + Hex(magic) + " at offset " + Hex(optional) +
                           " is neither PE32 (0x10B) nor PE32+ (0x20B)");
  }
  headers.entryPoint = file.U32(optional + 16, "optional header AddressOfEntryPoint");
  headers.baseOfCode = file.U32(optional + 20, "optional header BaseOfCode");
  headers.sectionAlignment = file.U32(optional + 32, "optional header SectionAlignment");
  headers.fileAlignment = file.U32(optional + 36, "optional header FileAlignment");
  headers.majorImageVersion = file.U16(optional + 44, "optional header MajorImageVersion");
  headers.minorImageVersion = file.U16(optional + 46, "optional header MinorImageVersion");
  headers.sizeOfImage = file.U32(optional + 56, "optional header SizeOfImage");
  headers.sizeOfHeaders = file.U32(optional + 60, "optional header SizeOfHeaders");
  headers.subsystem = file.U16(optional + 68, "optional header Subsystem");
  headers.dllCharacteristics = file.U16(optional + 70, "optional header DllCharacteristics");

  if (headers.directoryCount > pe::kDataDirectoryCount) {
    throw ImageFormatError("optional header NumberOfRvaAndSizes is " + std::to_string(headers.directoryCount) +
                           "; a PE image has at most 16 data directories");
  }
  if (directoryTable + std::uint64_t{headers.directoryCount} * 8 > optional + optionalSize) {
    throw ImageFormatError("the " + std::to_string(headers.directoryCount) +
                           " data directories do not fit in the optional header (SizeOfOptionalHeader " +
                           std::to_string(optionalSize) + ")");
  }
  for (std::uint32_t i = 0; i < headers.directoryCount; ++i) {
    const std::string field{pe::kDirectoryNames[i]};
    headers.directories[i] = {file.U32(directoryTable + 8 * i, field), file.U32(directoryTable + 8 * i + 4, field)};
  }
  headers.sectionTableOffset = static_cast<std::uint32_t>(optional + optionalSize);
  ReadSectionTable(file, headers, sectionCount);
  return headers;
}

}  // namespace

ImageHeaders ParseImage(std::span<const std::uint8_t> bytes) {
  const ByteReader file(bytes);
  const std::uint16_t signature = file.U16(0, "image signature");
  if (signature == pe::kTeSignature) return ParseTe(file);
  if (signature == pe::kDosSignature) return ParsePe(file);
  throw ImageFormatError("the file starts with " + Hex(signature) +
                         ", neither \"MZ\" (a PE image) nor \"VZ\" (a TE image)");
}

}  // namespace boardimage
