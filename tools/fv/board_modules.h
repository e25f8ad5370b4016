// The board's two modules as firmware files: their fixed file names (GUIDs),
// dependency expressions and sections, and the binary INF files that let a
// platform build take them as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "board/guids.h"
#include "tools/fv/ffs_format.h"
#include "tools/fv/guid.h"

namespace boardfv {

struct BoardModule {
  std::string_view baseName;  // also the UI section's text
  Guid fileGuid;
  std::uint8_t fileType;
  std::uint8_t depexSectionType;
  std::uint8_t imageSectionType;
  // For the INF file.
  std::string_view moduleType;
  std::string_view architecture;
  std::string_view imageFileName;
  std::string_view imageBinaryType;
  std::string_view depexBinaryType;
  std::string_view depexExpression;  // in an INF's [Depex] terms
  // The depex: PUSH this GUID, or TRUE without one.
  std::optional<Guid> dependsOn;
};

// A GUID constant of the firmware headers, as the packer stores GUIDs.
constexpr Guid FromFirmware(const EFI_GUID &guid) {
  Guid converted;
  for (int i = 0; i < 4; ++i) converted.bytes[i] = static_cast<std::uint8_t>(guid.Data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) converted.bytes[4 + i] = static_cast<std::uint8_t>(guid.Data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) converted.bytes[6 + i] = static_cast<std::uint8_t>(guid.Data3 >> (8 * i));
  for (int i = 0; i < 8; ++i) converted.bytes[8 + i] = guid.Data4[i];
  return converted;
}

// Runs once PCD_PPI is installed (the entry point writes the board name
// through it); executes in place, so its file aligns the TE image.
inline constexpr BoardModule kBoardPei = {
    .baseName = "BoardPei",
    .fileGuid = Guid::FromText("09BD1D6A-CE89-4D12-928B-4F4E480ADBD2"),
    .fileType = ffs::kFileTypePeim,
    .depexSectionType = ffs::kSectionPeiDepex,
    .imageSectionType = ffs::kSectionTe,
    .moduleType = "PEIM",
    .architecture = "IA32",
    .imageFileName = "BoardPei.te",
    .imageBinaryType = "TE",
    .depexBinaryType = "PEI_DEPEX",
    .depexExpression = "gPcdPpiGuid",
    .dependsOn = FromFirmware(gPcdPpiGuid),
};

// Needs only boot services and its own events, so its depex is TRUE: it is
// dispatched as early as possible, before the Setup string and SMBIOS
// producers install what it watches for.
inline constexpr BoardModule kBoardDxe = {
    .baseName = "BoardDxe",
    .fileGuid = Guid::FromText("215FD844-570B-4123-A21F-2E99827456F9"),
    .fileType = ffs::kFileTypeDriver,
    .depexSectionType = ffs::kSectionDxeDepex,
    .imageSectionType = ffs::kSectionPe32,
    .moduleType = "DXE_DRIVER",
    .architecture = "X64",
    .imageFileName = "BoardDxe.efi",
    .imageBinaryType = "PE32",
    .depexBinaryType = "DXE_DEPEX",
    .depexExpression = "TRUE",
};

// "pei" or "dxe"; nullptr for anything else.
const BoardModule *FindBoardModule(std::string_view name);

std::vector<std::uint8_t> ModuleDepex(const BoardModule &module);

// The module's file: depex, image, UI and version sections. A TE image keeps the
// address it was linked for until the file is placed in a volume; its data
// alignment and a raw pad section keep the image's sections aligned wherever
// the file's data lands on that alignment. A PE32 image is copied by the core
// before it runs, so its file asks for no alignment.
std::vector<std::uint8_t> BuildModuleFile(const BoardModule &module, std::span<const std::uint8_t> image);

// The module's binary INF (the depex file is <baseName>.depex beside it),
// with its package and uses from the platform package (platform_package.cpp).
std::string ModuleInf(const BoardModule &module);

}  // namespace boardfv
