// The board's platform package: the GUIDs and PCDs the two modules install,
// locate, watch and use, as the package declaration (KrvBoardPkg.dec) and
// the modules' binary INFs declare them. Both files are written from these
// tables, whose values come from the firmware's own constants.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tools/fv/board_modules.h"
#include "tools/fv/guid.h"

namespace boardfv {

inline constexpr std::string_view kPackageName = "KrvBoardPkg";
inline constexpr std::string_view kPackageDecPath = "KrvBoardPkg/KrvBoardPkg.dec";
inline constexpr std::string_view kMdePackageDecPath = "MdePkg/MdePkg.dec";
inline constexpr Guid kPackageGuid = Guid::FromText("93D1053A-FF3B-4D65-8851-2BFE1C42B569");
inline constexpr std::string_view kTokenSpaceName = "gKrvBoardPkgTokenSpaceGuid";
inline constexpr Guid kTokenSpaceGuid = Guid::FromText("CE45C570-AA43-4016-86A6-AB598234D7F7");

// The section a GUID is declared in, in the .dec and the INF alike.
enum class GuidKind { Guid, Protocol, Ppi };
std::string_view GuidSectionName(GuidKind kind);  // "Guids", "Protocols", "Ppis"

struct DeclaredGuid {
  std::string_view cName;
  GuidKind kind;
  Guid value;
  // Declared by this package, or by MdePkg (which the platform already has).
  bool inMdePackage;
  std::string_view comment;
};

struct DeclaredPcd {
  std::string_view cName;  // in the package's token space
  std::uint32_t token;     // the token number the module passes to the PCD service
  std::string_view datumType;
  std::uint32_t size;  // bytes
  std::string_view defaultValue;
  std::string_view comment;
};

// Every GUID the package knows of (its own and the MdePkg ones the modules
// use), and every PCD it declares.
std::span<const DeclaredGuid> PackageGuids();
std::span<const DeclaredPcd> PackagePcds();
const DeclaredGuid *FindPackageGuid(std::string_view cName);
const DeclaredPcd *FindPackagePcd(std::string_view cName);

// What a module does with a GUID or PCD, as an INF usage comment says it.
struct ModuleUse {
  std::string_view cName;  // a GUID's C name, or a PCD's (without the token space)
  std::string_view usage;  // "PRODUCES", "CONSUMES", "SOMETIMES_CONSUMES", "NOTIFY"
  std::string_view comment;
};
struct ModuleUses {
  std::span<const ModuleUse> guids;
  std::span<const ModuleUse> pcds;
};
ModuleUses UsesOf(const BoardModule &module);

// The text of KrvBoardPkg.dec.
std::string PackageDec();

// What an INF says of a PCD after its usage: "VOID* 24 bytes, token 0x5",
// which the package check reads back.
std::string PcdUsageDetail(const DeclaredPcd &pcd);

}  // namespace boardfv
