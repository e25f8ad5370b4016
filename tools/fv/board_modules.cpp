#include "tools/fv/board_modules.h"

#include <stdexcept>
#include <string>

#include "sim/image/byte_reader.h"
#include "sim/image/image_headers.h"
#include "sim/image/pe_format.h"
#include "tools/fv/board_version.h"
#include "tools/fv/ffs_file.h"
#include "tools/fv/ffs_format.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/sections.h"
#include "tools/fv/te_rebase.h"
#include "tools/fv/version_section.h"

namespace boardfv {

namespace {

// A raw section that moves the next section's data by `size` bytes (at least
// a section header's 4).
void AppendPadSection(std::vector<std::uint8_t> &list, std::uint32_t size) {
  const std::vector<std::uint8_t> zeros(size - ffs::kSectionHeaderSize, 0);
  AppendSection(list, ffs::kSectionRaw, zeros);
}

}  // namespace

const BoardModule *FindBoardModule(std::string_view name) {
  if (name == "pei") return &kBoardPei;
  if (name == "dxe") return &kBoardDxe;
  return nullptr;
}

std::vector<std::uint8_t> ModuleDepex(const BoardModule &module) {
  return module.dependsOn ? DepexPushGuid(*module.dependsOn) : DepexTrue();
}

namespace {

// The image must be what the module's file says it holds: BoardPei an IA-32
// TE image, BoardDxe an x64 PE32+ image (a PE32 section of an IA32 module,
// such as the OVMF PEI probe, an IA-32 PE32 image).
void RequireModuleImage(const BoardModule &module, std::span<const std::uint8_t> image) {
  const bool te = module.imageSectionType == ffs::kSectionTe;
  const bool ia32 = std::string_view(module.architecture) == "IA32";
  const auto format =
      te ? boardimage::ImageFormat::Te : (ia32 ? boardimage::ImageFormat::Pe32 : boardimage::ImageFormat::Pe32Plus);
  const std::uint16_t machine = ia32 ? boardimage::pe::kMachineI386 : boardimage::pe::kMachineX64;
  const std::string expected =
      std::string(ia32 ? "an IA-32 " : "an x64 ") + std::string(boardimage::FormatName(format)) + " image";
  const std::string name(module.baseName);
  boardimage::ImageHeaders headers;
  try {
    headers = boardimage::ParseImage(image);
  } catch (const std::runtime_error &error) {
    throw FvError(name + " must be " + expected + ", but the input does not parse as one: " + error.what());
  }
  if (headers.format != format || headers.machine != machine) {
    throw FvError(name + " must be " + expected + ", but the input is a " +
                  std::string(boardimage::FormatName(headers.format)) + " image for machine " +
                  boardimage::Hex(headers.machine));
  }
}

}  // namespace

std::vector<std::uint8_t> BuildModuleFile(const BoardModule &module, std::span<const std::uint8_t> image) {
  RequireModuleImage(module, image);
  std::vector<std::uint8_t> sections;
  AppendSection(sections, module.depexSectionType, ModuleDepex(module));
  FileHeaderFields header{module.fileGuid, module.fileType, ffs::kAttributeChecksum};
  if (module.imageSectionType == ffs::kSectionTe) {
    // The image base (StrippedSize - 40 bytes before the TE header) must be
    // as aligned as the image's sections; the file's data is aligned to at
    // least that, so only the offset inside the data needs padding.
    const std::uint32_t alignment = TeImageAlignment(image);
    header.attributes |= DataAlignmentAttributes(alignment);
    const auto sectionEnd = static_cast<std::int64_t>((sections.size() + 3) / 4 * 4);
    const std::int64_t imageBase = sectionEnd + ffs::kSectionHeaderSize - TeImageBaseOffset(image);
    auto pad = static_cast<std::uint32_t>(((-imageBase) % alignment + alignment) % alignment);
    while (pad != 0 && pad < ffs::kSectionHeaderSize) pad += alignment;
    if (pad != 0) AppendPadSection(sections, pad);
  }
  AppendSection(sections, module.imageSectionType, image);
  AppendSection(sections, ffs::kSectionUserInterface, UserInterfaceBody(module.baseName));
  AppendSection(sections, kSectionVersion, VersionBody(kBoardBuildNumber, kBoardVersionString));
  return BuildFile(header, sections);
}

}  // namespace boardfv
