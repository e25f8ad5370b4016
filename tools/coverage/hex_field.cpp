#include "tools/coverage/hex_field.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace boardcoverage {

std::uint64_t ParseHexField(std::string_view text, int digits, const std::string &where, std::string_view field) {
  // Leading zeros do not count against the width.
  const auto significant = text.substr(std::min(text.find_first_not_of('0'), text.size()));
  const bool valid =
      !text.empty() && significant.size() <= static_cast<std::size_t>(digits) &&
      std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
  if (!valid)
    throw std::runtime_error(where + ": " + std::string(field) + " '" + std::string(text.substr(0, 40)) +
                             "' is not a hexadecimal number of at most " + std::to_string(digits) + " digits");
  std::uint64_t value = 0;
  for (const char c : significant)
    value = value * 16 + static_cast<std::uint64_t>(
                             std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
  return value;
}

}  // namespace boardcoverage
