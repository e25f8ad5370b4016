#include "sim/image/te_converter.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "sim/image/byte_reader.h"
#include "sim/image/image_contents.h"
#include "sim/image/image_headers.h"

namespace boardimage {

namespace {

constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;

// The PEI core that executes the module in place runs in 32-bit protected mode.
void CheckMachine(const ImageHeaders &pe) {
  if (pe.machine != pe::kMachineI386) {
    throw TeConversionError("file header Machine is " + Hex(pe.machine) + " (" + std::string(MachineName(pe.machine)) +
                            "); a module executed in place by the PEI core must be IA-32 (0x14C)");
  }
}

// The core jumps to the entry point in flash: it must be code the image carries.
void CheckEntryPoint(const ImageHeaders &pe) {
  if (std::none_of(pe.sections.begin(), pe.sections.end(), [](const Section &s) { return s.Executable(); })) {
    throw TeConversionError("the image has no code section (no section is executable)");
  }
  const Section *section = pe.SectionAt(pe.entryPoint);
  if (section == nullptr || !section->Executable()) {
    throw TeConversionError("optional header AddressOfEntryPoint " + Hex(pe.entryPoint) +
                            " is not inside a code section" +
                            (section != nullptr ? " (it lies in " + section->name + ", which is not executable)" : ""));
  }
}

// An IA-32 image is rebased by adding the delta to 32-bit addresses; each of
// them must lie in the image's bytes, which is all a firmware-volume tool
// rebasing it can change.
void CheckRelocations(const ImageHeaders &pe, std::span<const std::uint8_t> file) {
  if (pe.Directory(pe::kDirectoryBaseRelocation).size == 0) {
    throw TeConversionError("the image has no base relocation directory; a firmware-volume tool could not rebase it");
  }
  for (const BaseRelocation &relocation : ReadBaseRelocations(pe, file)) {
    if (relocation.type != pe::kRelocationHighLow) {
      throw TeConversionError("the base relocation at RVA " + Hex(relocation.rva) + " has type " +
                              std::to_string(relocation.type) +
                              "; an IA-32 image is rebased with HIGHLOW (type 3) relocations only");
    }
    if (!pe.FileOffsetOf(relocation.rva, 4)) {
      throw TeConversionError("the base relocation at RVA " + Hex(relocation.rva) +
                              " patches 4 bytes that are not inside one section's data");
    }
  }
}

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
  if (pe.sectionTableOffset < pe::kTeHeaderSize) {
    throw TeConversionError("the headers before the section table are " + Hex(pe.sectionTableOffset) +
                            " bytes, fewer than the 40-byte TE header that takes their place");
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

// An IA-32 core addresses 4 GiB: the whole image must lie below that.
void CheckBelow4GiB(const ImageHeaders &pe) {
  if (pe.imageBase >= k4GiB || pe.imageBase + pe.sizeOfImage > k4GiB) {
    throw TeConversionError("optional header ImageBase " + Hex(pe.imageBase) + " with SizeOfImage " +
                            Hex(pe.sizeOfImage) + " reaches beyond 4 GiB, which an IA-32 core cannot address");
  }
}

void CheckFlashAddress(const ImageHeaders &pe, std::uint64_t teSize, std::uint32_t flashAddress) {
  if (flashAddress + teSize > k4GiB) {
    throw TeConversionError("the " + std::to_string(teSize) + "-byte TE image at flash address " + Hex(flashAddress) +
                            " would end at " + Hex(flashAddress + teSize) + ", beyond 4 GiB");
  }
  const std::uint64_t headerAddress = pe.imageBase + pe.sectionTableOffset - pe::kTeHeaderSize;
  if (headerAddress == flashAddress) return;
  std::string message = "linked at ImageBase " + Hex(pe.imageBase) + " with " + Hex(pe.sectionTableOffset) +
                        " bytes of headers to strip, the TE header would belong at " + Hex(headerAddress) +
                        ", not at the flash address " + Hex(flashAddress);
  if (std::uint64_t{flashAddress} + pe::kTeHeaderSize >= pe.sectionTableOffset) {
    message += "; link at ImageBase " + Hex(flashAddress + pe::kTeHeaderSize - pe.sectionTableOffset);
  } else {
    message += "; no ImageBase puts it there, as the stripped headers would start below address 0";
  }
  throw TeConversionError(message);
}

}  // namespace

std::uint32_t ParseFlashAddress(std::string_view text) {
  const bool hex = text.starts_with("0x") || text.starts_with("0X");
  const std::string_view digits = hex ? text.substr(2) : text;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
  if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() || value >= k4GiB) {
    throw TeConversionError("flash address '" + std::string(text) +
                            "' is not an address below 4 GiB (decimal, or hex with 0x, up to 0xFFFFFFFF)");
  }
  return static_cast<std::uint32_t>(value);
}

std::vector<std::uint8_t> ConvertToTe(std::span<const std::uint8_t> file, const TeOptions &options) {
  const ImageHeaders pe = ParseImage(file);
  if (pe.format == ImageFormat::Te) throw TeConversionError("the image is a TE image already");
  CheckMachine(pe);
  CheckFieldsFit(pe);
  CheckDirectories(pe);
  CheckExecutesInPlace(pe);
  CheckEntryPoint(pe);
  CheckBelow4GiB(pe);
  // A damaged table is refused here, not by the tool that rebases the image.
  CheckRelocations(pe, file);

  const auto kept = file.subspan(pe.sectionTableOffset);
  if (options.flashAddress) CheckFlashAddress(pe, pe::kTeHeaderSize + kept.size(), *options.flashAddress);
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
