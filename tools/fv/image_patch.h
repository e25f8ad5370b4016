// Inserting files into volumes wherever they lie in a flash image: volumes
// side by side, volumes in volume-image sections, and sections inside
// LZMA-compressed GUID-defined sections, which are unpacked and packed again.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
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

// Where insert put a file: the volume's path, the file's offset in it, and
// the address a TE image in it was rebased for.
struct Placement {
  std::string volume;
  std::uint32_t offset = 0;
  std::optional<std::uint64_t> teAddress;
};

// How deep volumes, files and sections may nest in an image.
inline constexpr unsigned kMaxNestingDepth = 32;
// What one run may unpack from LZMA sections in all: 64 times the input,
// at least 16 MiB and at most 256 MiB.
inline constexpr std::uint64_t kMinUnpackBudget = 16u << 20;
inline constexpr std::uint64_t kMaxUnpackBudget = 256u << 20;
std::uint64_t UnpackBudget(std::uint64_t inputSize);

// Refuses a volume or section list nested deeper than kMaxNestingDepth.
void RequireNestingDepth(const std::string &where, unsigned depth);
// An LZMA section's data unpacked within what is left of `budget`, which it
// then takes; an error names the section at `where`.
std::vector<std::uint8_t> UnpackLzmaSection(std::span<const std::uint8_t> stream, std::uint64_t &budget,
                                            const std::string &where);

// The image with every insertion made, every enclosing section, file and
// compressed stream rebuilt with correct sizes and checksums. Volumes of
// other file systems are skipped. Throws FvError if a volume on the way does
// not parse, nesting or unpacking exceeds the limits above, two volumes
// share a name, a target volume is not found, or an insertion is refused.
// The output is walked again before it is returned: what insert writes,
// fvpack can read back. `placements`, if given, receives where each file went.
std::vector<std::uint8_t> InsertIntoImage(std::span<const std::uint8_t> image, std::span<const Insertion> insertions,
                                          std::vector<Placement> *placements = nullptr);

}  // namespace boardfv
