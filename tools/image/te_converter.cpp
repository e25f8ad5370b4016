#include "tools/image/te_converter.h"

#include <algorithm>
#include <string>

#include "tools/image/byte_reader.h"
#include "tools/image/image_contents.h"
#include "tools/image/image_headers.h"

namespace boardimage {

namespace {

// The TE header keeps 8-bit section count and subsystem and a 16-bit stripped size.
void CheckFieldsFit(const ImageHeaders &pe) {
  if (pe.sections.size() > 0xFF) {
    throw TeConversionError("the image has " + std::to_string(pe.sections.size()) +
                            " sections; the TE header's NumberOfSections holds at most 255");
  }
  if (pe.subsystem > 0xFF) {
    throw TeConversionError("subsystem " + std::to_string(pe.subsystem) +
                            " does not fit the TE header's 8-bit Subsystem field");
  }
  if (pe.sectionTableOffset > 0xFFFF) {
    throw TeConversionError("the headers before the section table are " + Hex(pe.sectionTableOffset) +
                            " bytes; the TE header's StrippedSize holds at most 0xFFFF");
  }
}

// A TE header has room for the base relocation and debug directories only;
// anything else the image needs would be lost.
void CheckDirectories(const ImageHeaders &pe) {
  for (std::size_t i = 0; i < pe.directories.size(); ++i) {
    if (i == pe::kDirectoryBaseRelocation || i == pe::kDirectoryDebug) continue;
    if (pe.directories[i].size != 0) {
      throw TeConversionError("the image has a " + std::string(pe::kDirectoryNames[i]) + " (data directory " +
                              std::to_string(i) +
                              "); a TE image carries only the base relocation and debug directories");
    }
  }
  if (pe.fileCharacteristics & pe::kFileRelocsStripped) {
    throw TeConversionError(
        "the image was linked without base relocations (/fixed); a firmware-volume tool could not rebase it");
  }
}

// Executing in place means the file bytes are the running image in read-only
// flash: the layout in the file must be the layout in memory, and no section
// may need writes or RAM.
void CheckExecutesInPlace(const ImageHeaders &pe) {
  if (pe.sectionAlignment != pe.fileAlignment) {
    throw TeConversionError("SectionAlignment " + Hex(pe.sectionAlignment) + " differs from FileAlignment " +
                            Hex(pe.fileAlignment) +
                            ": sections would not lie at their linked addresses when executed in place");
  }
  for (const auto &section : pe.sections) {
    if (section.Writable()) {
      throw TeConversionError("section " + section.name +
                              " is writable: the module would write to its own image, which lies in read-only flash");
    }
    if (section.HoldsUninitializedData() || section.virtualSize > section.rawSize) {
      throw TeConversionError("section " + section.name + " needs " + std::to_string(section.virtualSize) +
                              " bytes in memory but has " + std::to_string(section.rawSize) +
                              " in the file: zero-initialised data needs RAM, which flash is not");
    }
    if (section.rawSize != 0 && section.rawOffset < pe.sectionTableOffset) {
      throw TeConversionError("section " + section.name + " starts at file offset " + Hex(section.rawOffset) +
                              ", inside the " + Hex(pe.sectionTableOffset) +
                              " bytes of headers the TE header replaces");
    }
    if (section.rawSize != 0 && section.rawOffset != section.virtualAddress) {
      throw TeConversionError("section " + section.name + " lies at file offset " + Hex(section.rawOffset) +
                              " but at RVA " + Hex(section.virtualAddress) +
                              ": it would not be at its linked address when executed in place");
    }
  }
}

void CheckFlashAddress(const ImageHeaders &pe, std::uint64_t flashAddress) {
  const std::uint64_t headerAddress = pe.imageBase + pe.sectionTableOffset - pe::kTeHeaderSize;
  if (headerAddress != flashAddress) {
    throw TeConversionError("linked at ImageBase " + Hex(pe.imageBase) + " with " + Hex(pe.sectionTableOffset) +
                            " bytes of headers to strip, the TE header would belong at " + Hex(headerAddress) +
                            ", not at the flash address " + Hex(flashAddress) + "; link at ImageBase " +
                            Hex(flashAddress + pe::kTeHeaderSize - pe.sectionTableOffset));
  }
}

}  // namespace

std::vector<std::uint8_t> ConvertToTe(std::span<const std::uint8_t> file, const TeOptions &options) {
  const ImageHeaders pe = ParseImage(file);
  if (pe.format == ImageFormat::Te) throw TeConversionError("the image is a TE image already");
  CheckFieldsFit(pe);
  CheckDirectories(pe);
  CheckExecutesInPlace(pe);
  if (options.flashAddress) CheckFlashAddress(pe, *options.flashAddress);
  ReadBaseRelocations(pe, file);  // a damaged table is refused here, not by the tool that rebases the image

  const auto kept = file.subspan(pe.sectionTableOffset);
  std::vector<std::uint8_t> te(pe::kTeHeaderSize + kept.size());
  PutU16(te, 0, pe::kTeSignature);
  PutU16(te, 2, pe.machine);
  te[4] = static_cast<std::uint8_t>(pe.sections.size());
  te[5] = static_cast<std::uint8_t>(pe.subsystem);
  PutU16(te, 6, static_cast<std::uint16_t>(pe.sectionTableOffset));
  PutU32(te, 8, pe.entryPoint);
  PutU32(te, 12, pe.baseOfCode);
  PutU64(te, 16, pe.imageBase);
  PutU32(te, 24, pe.Directory(pe::kDirectoryBaseRelocation).rva);
  PutU32(te, 28, pe.Directory(pe::kDirectoryBaseRelocation).size);
  PutU32(te, 32, pe.Directory(pe::kDirectoryDebug).rva);
  PutU32(te, 36, pe.Directory(pe::kDirectoryDebug).size);
  std::copy(kept.begin(), kept.end(), te.begin() + pe::kTeHeaderSize);
  return te;
}

}  // namespace boardimage
