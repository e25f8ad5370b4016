// Sections: the typed pieces of a file's data (and of a GUID-defined
// section's contents), each on a 4-byte boundary.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/fv/guid.h"

namespace boardfv {

struct SectionView {
  std::uint8_t type = 0;
  std::uint32_t offset = 0;  // from the start of the list
  std::uint32_t size = 0;    // header included
  std::uint32_t headerSize = 0;
  std::span<const std::uint8_t> body;  // after the common header
};

// Walks a list of sections that fills `data` (up to 3 bytes of trailing
// padding). Throws FvError naming `where` and the offset of a section that
// does not fit.
std::vector<SectionView> ParseSections(std::span<const std::uint8_t> data, std::string_view where);

// Appends a section of `type` holding `body` to `list`, first padding the
// list to the next 4-byte boundary.
void AppendSection(std::vector<std::uint8_t> &list, std::uint8_t type, std::span<const std::uint8_t> body);

// Appends a GUID-defined section: its definition GUID, the offset of `data`
// from the section's start, its attributes, then `data`.
void AppendGuidDefinedSection(std::vector<std::uint8_t> &list, const Guid &definition, std::uint16_t attributes,
                              std::span<const std::uint8_t> data);

struct GuidDefinedView {
  Guid definition;
  std::uint16_t attributes = 0;
  std::span<const std::uint8_t> data;
};
// Reads a GUID-defined section's fields; throws FvError naming `where`.
GuidDefinedView ReadGuidDefined(const SectionView &section, std::string_view where);

// A user interface section's body: `name` as UTF-16LE with its terminator.
std::vector<std::uint8_t> UserInterfaceBody(std::string_view name);

// Dependency expressions.
std::vector<std::uint8_t> DepexPushGuid(const Guid &guid);  // PUSH guid END
std::vector<std::uint8_t> DepexTrue();                      // TRUE END

}  // namespace boardfv
