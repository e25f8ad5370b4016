// What version a firmware image or file says it is, read from its own bytes:
// a PE image's version fields, a firmware file's version section. A TE image
// keeps no version fields; its firmware file carries the version.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace boardfv {

// "version 1.0.0, build 1 (version section)" for a firmware file (a name
// ending in .ffs), "image version 1.0 (PE header)" for a PE image, and for
// a TE image that it has none. Throws for a file that does not parse.
std::string DescribeVersion(std::span<const std::uint8_t> bytes, std::string_view fileName);

}  // namespace boardfv
