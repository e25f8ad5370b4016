// Inserting files into volumes wherever they lie in a flash image: volumes
// side by side, volumes in volume-image sections, and sections inside
// LZMA-compressed GUID-defined sections, which are unpacked and packed again.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tools/fv/guid.h"

namespace boardfv {

struct Insertion {
  Guid volume;  // the name in the target volume's extended header
  // Where the target volume lies while it runs; needed for a file with a TE
  // image, which is rebased for its place.
  std::optional<std::uint64_t> volumeAddress;
  std::vector<std::uint8_t> file;
};

// The image with every insertion made, every enclosing section, file and
// compressed stream rebuilt with correct sizes and checksums. Throws FvError
// if a volume on the way does not parse, a target volume is not found, or an
// insertion is refused.
std::vector<std::uint8_t> InsertIntoImage(std::span<const std::uint8_t> image, std::span<const Insertion> insertions);

}  // namespace boardfv
