// Hexadecimal fields of the coverage inputs (linker maps, recorded blocks):
// digits only, so that "-10" or "0x" or an overlong number is refused with
// the place it was found instead of being wrapped or cut.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace boardcoverage {

// Throws std::runtime_error "WHERE: FIELD 'TEXT' is not a hexadecimal number
// of at most DIGITS digits"; `where` is "file:line".
std::uint64_t ParseHexField(std::string_view text, int digits, const std::string &where, std::string_view field);
inline std::uint32_t ParseHex32(std::string_view text, const std::string &where, std::string_view field) {
  return static_cast<std::uint32_t>(ParseHexField(text, 8, where, field));
}

}  // namespace boardcoverage
