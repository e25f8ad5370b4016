// What an image holds: every volume, wherever it lies (side by side, in
// volume-image sections, inside LZMA sections), with its files. fvpack list
// prints it, insert names the volumes there when a target is missing, and
// insert's output is walked the same way before it is written.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/fv/guid.h"
#include "tools/fv/volume.h"

namespace boardfv {

struct ListedVolume {
  std::string path;          // the volume > file > section path to it
  std::uint64_t offset = 0;  // in its container (the image, or a section's body)
  std::uint64_t length = 0;
  Guid fileSystem;
  bool ffs = false;               // FFS 2 or 3; the rest are listed, not walked
  std::optional<Guid> name;       // from the extended header
  std::uint64_t freeBytes = 0;    // after the last file
  std::vector<VolumeFile> files;  // FFS volumes only
};

// Walks the whole image within the nesting depth and unpacking budget insert
// uses. Throws FvError naming where a volume, file or section does not parse.
std::vector<ListedVolume> ListVolumes(std::span<const std::uint8_t> image);

// The listing as text: a line per volume, then one per file in it.
std::string FormatVolumeList(std::span<const ListedVolume> volumes);

}  // namespace boardfv
