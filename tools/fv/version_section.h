// A firmware file's version section: a 16-bit build number, then the version
// text as UTF-16LE with its terminator.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace boardfv {

inline constexpr std::uint8_t kSectionVersion = 0x14;

struct FileVersion {
  std::uint16_t build = 0;
  std::string text;
};

std::vector<std::uint8_t> VersionBody(std::uint16_t build, std::string_view text);

// The version section of a whole firmware file (header and sections), if it
// has one. Throws FvError for a file or section list that does not parse, or
// a version section without its terminator or with a character beyond ASCII.
std::optional<FileVersion> ReadFileVersion(std::span<const std::uint8_t> file, std::string_view where);

}  // namespace boardfv
