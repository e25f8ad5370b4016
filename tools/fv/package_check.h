// The check of the platform package the build writes: KrvBoardPkg.dec and
// the two modules' binary INFs, read back by our own parser and compared
// with the firmware's constants, the images and the depex files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/fv/board_modules.h"

namespace boardfv {

// One section of an INF or .dec: "[Name]" or "[Name.ARCH]", and its entries,
// each the text before its first "#" and the usage comment after "##".
struct BuildFileEntry {
  int line = 0;
  std::string text;
  std::string usage;   // the first word after "##", if any
  std::string detail;  // what follows a second "##"
};
struct BuildFileSection {
  int line = 0;
  std::string name;
  std::string arch;  // empty for none
  std::vector<BuildFileEntry> entries;
};

// Parses an INF or .dec. Throws FvError naming `where` and the line for a
// line outside any section, a malformed section header, or a section that
// is not one of `knownSections`.
std::vector<BuildFileSection> ParseBuildFile(std::string_view text, std::string_view where,
                                             std::span<const std::string_view> knownSections);

struct ModuleFiles {
  const BoardModule *module = nullptr;
  std::string inf;
  std::vector<std::uint8_t> image;
  std::vector<std::uint8_t> depex;
};

// Every problem found, one line each, naming the file and line; empty when
// the package holds. What it checks:
//  - both files are well-formed: known sections, [Defines] with its required
//    keys, GUIDs in registry form (INF) and C form (.dec), no name declared
//    twice;
//  - the .dec declares each of the board's GUIDs, with the firmware's value,
//    in its section, and each PCD in [PcdsDynamic] with the token number,
//    type and size the modules use (a VOID* default's size is the size);
//  - each INF names its module's file GUID, type, architecture, version, the
//    two packages, its image and depex files;
//  - each [Ppis], [Protocols], [Guids] and [Pcd] entry carries a usage and
//    resolves: in the .dec's section of that kind, or among the MdePkg names
//    the modules use; a PCD's type, size and token number as the .dec says;
//  - every GUID of the firmware's constants found in a module's image is in
//    its INF, and every GUID its INF names is in the image;
//  - the PCD tokens of an INF are those its module uses;
//  - the depex file holds the INF's [Depex] expression.
std::vector<std::string> CheckPlatformPackage(std::string_view dec, std::span<const ModuleFiles> modules);

}  // namespace boardfv
