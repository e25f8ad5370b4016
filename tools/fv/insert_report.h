// What fvpack insert checks on its command line and tells the user: strict
// addresses, one whole file per FILE.ffs, targets that are in the image (or
// the volumes that are), and where each file went.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/fv/image_patch.h"

namespace boardfv {

// "0x" and 1 to 16 hex digits, or decimal digits without a leading zero and
// no larger than 2^64 - 1; nothing else (no sign, space or octal).
std::optional<std::uint64_t> ParseAddress(std::string_view text);

// Throws FvError naming `path` unless `bytes` holds exactly one FFS file:
// bytes after its end are refused, not dropped.
void RequireSingleFile(std::span<const std::uint8_t> bytes, const std::string &path);

// Throws FvError naming each target volume that is not in the image, with
// the list of the volumes that are.
void RequireTargetsPresent(std::span<const std::uint8_t> image, std::span<const Insertion> insertions);

// A line per placement: the volume's path, the file's offset, the TE address.
std::string FormatPlacements(std::span<const Placement> placements);

}  // namespace boardfv
