#include "tools/fv/platform_package.h"

#include <cstdio>

#include "board/guids.h"
#include "board/pcd_tokens.h"
#include "tools/fv/board_version.h"

namespace boardfv {

namespace {

constexpr DeclaredGuid kGuids[] = {
    {"gKrvBoardPkgTokenSpaceGuid", GuidKind::Guid, kTokenSpaceGuid, false, "the token space of the board's PCDs"},
    {"gBoardHookProtocolGuid", GuidKind::Protocol, FromFirmware(gBoardHookProtocolGuid), false,
     "BOARD_HOOK_PROTOCOL, installed by BoardDxe: 8 members, member 4 the LAN MAC query"},
    {"gSetupStringProtocolGuid", GuidKind::Protocol, FromFirmware(gSetupStringProtocolGuid), false,
     "SETUP_STRING_PROTOCOL: member 1 sets a Setup string (Name, Token, Text)"},
    {"gSmbiosTableProtocolGuid", GuidKind::Protocol, FromFirmware(gSmbiosTableProtocolGuid), false,
     "SMBIOS_TABLE_PROTOCOL: member 6 deletes a structure by handle, member 8 reads one"},
    {"gBoardHookPpiGuid", GuidKind::Ppi, FromFirmware(gBoardHookPpiGuid), false,
     "BOARD_HOOK_PPI, installed by BoardPei: 10 members"},
    // MdePkg's: the PCD services of both phases and the ReadyToBoot group.
    {"gPcdPpiGuid", GuidKind::Ppi, FromFirmware(gPcdPpiGuid), true, "PCD_PPI"},
    {"gPcdProtocolGuid", GuidKind::Protocol, FromFirmware(gPortLocatorProtocolGuid), true,
     "the DXE PCD_PROTOCOL, BoardDxe's PORT_LOCATOR_PROTOCOL"},
    {"gEfiEventReadyToBootGuid", GuidKind::Guid, FromFirmware(gEfiEventReadyToBootGuid), true,
     "the ReadyToBoot event group"},
};

constexpr DeclaredPcd kPcds[] = {
    {"PcdBoardProductName", static_cast<std::uint32_t>(kBoardNamePcdToken), "VOID*", 24, "L\"KRV7-DM3TQA\"",
     "the product name, UTF-16 with its NUL; BoardPei writes it through PCD_PPI"},
    {"PcdLanBridgeFirstList", static_cast<std::uint32_t>(kFirstLanBridgePcdToken), "UINT32", 4, "0x00000000",
     "bus/device/function (bits 15..0) of the bridge above the first list's LAN controller"},
    {"PcdLanBridgeSecondList0", static_cast<std::uint32_t>(kSecondLanBridgePcdTokens[0]), "UINT32", 4, "0x00000000",
     "bus/device/function (bits 15..0) of the bridge above the second list's first LAN controller"},
    {"PcdLanBridgeSecondList1", static_cast<std::uint32_t>(kSecondLanBridgePcdTokens[1]), "UINT32", 4, "0x00000000",
     "bus/device/function (bits 15..0) of the bridge above the second list's second LAN controller"},
    {"PcdLanBridgeSecondList2", static_cast<std::uint32_t>(kSecondLanBridgePcdTokens[2]), "UINT32", 4, "0x00000000",
     "bus/device/function (bits 15..0) of the bridge above the second list's third LAN controller"},
};

constexpr ModuleUse kPeiGuids[] = {
    {"gBoardHookPpiGuid", "PRODUCES", "installed by the entry point"},
    {"gPcdPpiGuid", "CONSUMES", "the depex waits for it; the board name is written through it"},
};
constexpr ModuleUse kPeiPcds[] = {
    {"PcdBoardProductName", "PRODUCES", ""},
};
constexpr ModuleUse kDxeGuids[] = {
    {"gBoardHookProtocolGuid", "PRODUCES", "installed by the entry point on a new handle"},
    {"gSetupStringProtocolGuid", "NOTIFY", "its arrival rewrites the riser's option-ROM texts"},
    {"gSmbiosTableProtocolGuid", "NOTIFY", "its arrival deletes the type-9 records of the absent risers"},
    {"gPcdProtocolGuid", "SOMETIMES_CONSUMES", "located by the first LAN MAC query; member 3 (Get32) is called"},
    {"gEfiEventReadyToBootGuid", "CONSUMES", "Event: its handler closes its own event"},
};
constexpr ModuleUse kDxePcds[] = {
    {"PcdLanBridgeFirstList", "SOMETIMES_CONSUMES", ""},
    {"PcdLanBridgeSecondList0", "SOMETIMES_CONSUMES", ""},
    {"PcdLanBridgeSecondList1", "SOMETIMES_CONSUMES", ""},
    {"PcdLanBridgeSecondList2", "SOMETIMES_CONSUMES", ""},
};

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

// {0x6B588D7C, 0xC72E, 0x4A78, {0x88, 0x58, ...}}, as a .dec writes a GUID.
std::string CFormat(const Guid &guid) {
  const auto &b = guid.bytes;
  std::string text = "{" + Hex(b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24, 8) + ", " +
                     Hex(b[4] | b[5] << 8, 4) + ", " + Hex(b[6] | b[7] << 8, 4) + ", {";
  for (int i = 8; i < 16; ++i) text += Hex(b[i], 2) + (i < 15 ? ", " : "}}");
  return text;
}

std::string Padded(std::string_view text, std::size_t width) {
  std::string padded(text);
  if (padded.size() < width) padded.append(width - padded.size(), ' ');
  return padded;
}

}  // namespace

std::string_view GuidSectionName(GuidKind kind) {
  switch (kind) {
    case GuidKind::Guid:
      return "Guids";
    case GuidKind::Protocol:
      return "Protocols";
    case GuidKind::Ppi:
      return "Ppis";
  }
  return "Guids";
}

std::span<const DeclaredGuid> PackageGuids() { return kGuids; }
std::span<const DeclaredPcd> PackagePcds() { return kPcds; }

const DeclaredGuid *FindPackageGuid(std::string_view cName) {
  for (const auto &guid : kGuids)
    if (guid.cName == cName) return &guid;
  return nullptr;
}

const DeclaredPcd *FindPackagePcd(std::string_view cName) {
  for (const auto &pcd : kPcds)
    if (pcd.cName == cName) return &pcd;
  return nullptr;
}

ModuleUses UsesOf(const BoardModule &module) {
  if (module.baseName == kBoardPei.baseName) return {kPeiGuids, kPeiPcds};
  return {kDxeGuids, kDxePcds};
}

std::string PcdUsageDetail(const DeclaredPcd &pcd) {
  return std::string(pcd.datumType) + " " + std::to_string(pcd.size) + " bytes, token " + Hex(pcd.token, 1);
}

std::string PackageDec() {
  std::string dec;
  dec += "## @file\n";
  dec += "#  The KRV7-DM3TQA board's package: the GUIDs and dynamic PCDs of BoardPei and BoardDxe.\n";
  dec += "#  Written by the board's build (platform_package dec); BoardPei.inf and BoardDxe.inf refer to it.\n";
  dec += "##\n\n";
  dec += "[Defines]\n";
  dec += "  DEC_SPECIFICATION              = 0x00010005\n";
  dec += "  PACKAGE_NAME                   = " + std::string(kPackageName) + "\n";
  dec += "  PACKAGE_GUID                   = " + kPackageGuid.Text() + "\n";
  dec += "  PACKAGE_VERSION                = " + std::string(kBoardVersionString) + "\n";
  for (const GuidKind kind : {GuidKind::Guid, GuidKind::Protocol, GuidKind::Ppi}) {
    dec += "\n[" + std::string(GuidSectionName(kind)) + "]\n";
    for (const auto &guid : kGuids) {
      if (guid.kind != kind || guid.inMdePackage) continue;
      dec += "  ## " + std::string(guid.comment) + "\n";
      dec += "  " + std::string(guid.cName) + " = " + CFormat(guid.value) + "\n";
    }
  }
  // The modules pass these token numbers to the PCD services themselves, so
  // the platform's PCD database must hold each PCD under its token here.
  dec += "\n# Token numbers are those of the platform's PCD database: the modules name the PCDs by them.\n";
  dec += "[PcdsDynamic]\n";
  for (const auto &pcd : kPcds) {
    dec += "  ## " + std::string(pcd.comment) + "; " + std::to_string(pcd.size) + " bytes\n";
    dec += "  " + std::string(kTokenSpaceName) + "." + std::string(pcd.cName) + "|" + std::string(pcd.defaultValue) +
           "|" + std::string(pcd.datumType) + "|" + Hex(pcd.token, 8) + "\n";
  }
  return dec;
}

std::string ModuleInf(const BoardModule &module) {
  const std::string name(module.baseName);
  const auto uses = UsesOf(module);
  std::string inf;
  inf += "## @file\n";
  inf += "#  " + name + " as a binary module of the KRV7-DM3TQA board.\n";
  inf += "##\n\n";
  inf += "[Defines]\n";
  inf += "  INF_VERSION                    = 0x00010005\n";
  inf += "  BASE_NAME                      = " + name + "\n";
  inf += "  FILE_GUID                      = " + module.fileGuid.Text() + "\n";
  inf += "  MODULE_TYPE                    = " + std::string(module.moduleType) + "\n";
  inf += "  VERSION_STRING                 = " + std::string(kBoardVersionString) + "\n\n";
  inf += "[Packages]\n";
  inf += "  " + std::string(kMdePackageDecPath) + "\n";
  inf += "  " + std::string(kPackageDecPath) + "\n\n";
  inf += "[Binaries." + std::string(module.architecture) + "]\n";
  inf += "  " + std::string(module.imageBinaryType) + "|" + std::string(module.imageFileName) + "|*\n";
  inf += "  " + std::string(module.depexBinaryType) + "|" + name + ".depex|*\n";
  for (const GuidKind kind : {GuidKind::Ppi, GuidKind::Protocol, GuidKind::Guid}) {
    std::string section;
    for (const auto &use : uses.guids) {
      if (FindPackageGuid(use.cName)->kind != kind) continue;
      section +=
          "  " + Padded(use.cName, 30) + " ## " + std::string(use.usage) + " ## " + std::string(use.comment) + "\n";
    }
    if (!section.empty()) inf += "\n[" + std::string(GuidSectionName(kind)) + "]\n" + section;
  }
  inf += "\n# Dynamic PCDs, named by these token numbers in the platform's PCD database.\n";
  inf += "[Pcd]\n";
  for (const auto &use : uses.pcds) {
    const auto &pcd = *FindPackagePcd(use.cName);
    inf += "  " + Padded(std::string(kTokenSpaceName) + "." + std::string(pcd.cName), 50) + " ## " +
           std::string(use.usage) + " ## " + PcdUsageDetail(pcd) + "\n";
  }
  inf += "\n# The same expression as " + name + ".depex above.\n";
  inf += "[Depex]\n";
  inf += "  " + std::string(module.depexExpression) + "\n";
  return inf;
}

}  // namespace boardfv
