#include "tools/fv/guid.h"

#include <algorithm>
#include <cstdio>

namespace boardfv {

Guid Guid::Read(std::span<const std::uint8_t> bytes) {
  Guid guid;
  std::copy_n(bytes.begin(), guid.bytes.size(), guid.bytes.begin());
  return guid;
}

std::string Guid::Text() const {
  const auto &b = bytes;
  char text[40];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[3], b[2],
                b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

}  // namespace boardfv
