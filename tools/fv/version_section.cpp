#include "tools/fv/version_section.h"

#include "tools/fv/ffs_file.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/sections.h"

namespace boardfv {

std::vector<std::uint8_t> VersionBody(std::uint16_t build, std::string_view text) {
  std::vector<std::uint8_t> body = {static_cast<std::uint8_t>(build), static_cast<std::uint8_t>(build >> 8)};
  const auto utf16 = UserInterfaceBody(text);  // the same UTF-16LE text with its terminator
  body.insert(body.end(), utf16.begin(), utf16.end());
  return body;
}

std::optional<FileVersion> ReadFileVersion(std::span<const std::uint8_t> file, std::string_view where) {
  const auto header = ParseFileHeader(file, where);
  const auto data = file.subspan(header.headerSize, header.size - header.headerSize);
  for (const auto &section : ParseSections(data, where)) {
    if (section.type != kSectionVersion) continue;
    const auto body = section.body;
    if (body.size() < 4 || body.size() % 2 != 0)
      throw FvError(std::string(where) + ": version section of " + std::to_string(body.size()) +
                    " bytes (a build number and a terminated UTF-16 text)");
    FileVersion version{static_cast<std::uint16_t>(body[0] | body[1] << 8), {}};
    for (std::size_t i = 2;; i += 2) {
      if (i + 1 >= body.size()) throw FvError(std::string(where) + ": version text without its terminator");
      const unsigned unit = body[i] | body[i + 1] << 8;
      if (unit == 0) break;
      if (unit < 0x20 || unit > 0x7E)
        throw FvError(std::string(where) + ": version text character " + std::to_string(unit) +
                      " is not printable ASCII");
      version.text += static_cast<char>(unit);
    }
    return version;
  }
  return std::nullopt;
}

}  // namespace boardfv
