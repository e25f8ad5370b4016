// One firmware volume: its header, the files in it, and the free space
// after the last file, into which files are inserted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/fv/ffs_file.h"
#include "tools/fv/guid.h"

namespace boardfv {

struct VolumeFile {
  std::uint32_t offset = 0;  // from the start of the volume
  FileHeader header;
  bool live = false;  // complete and not deleted
};

struct Volume {
  std::uint64_t length = 0;
  bool erasePolarity = true;
  std::uint32_t alignment = 1;  // what the volume's own placement guarantees
  std::optional<Guid> name;     // from the extended header
  bool largeFiles = false;      // FFS 3: files over 16 MiB with the extended size
  std::vector<VolumeFile> files;
  std::uint32_t freeOffset = 0;  // the first byte after the last file
};

// The largest volume fvpack parses (offsets in a volume are 32-bit).
inline constexpr std::uint64_t kMaxVolumeLength = 0xFFFFFFFFu;

// Whether the volume header at the start of `bytes` names FFS 2 or 3.
bool HasFfsFileSystem(std::span<const std::uint8_t> bytes);

// The length of a volume of another file system, which is skipped whole.
// Throws FvError if it does not fit `bytes`.
std::uint64_t SkippedVolumeLength(std::span<const std::uint8_t> bytes, const std::string &where);

// Whether a volume header starts `bytes`: the signature, and a header that
// fits and sums to zero.
bool LooksLikeVolume(std::span<const std::uint8_t> bytes);

// Reads a volume's header and walks its files. Throws FvError naming `where`
// and the offset of a header, file or free space that does not parse (a bad
// signature or checksum, a file system other than FFS 2 or 3, a file that
// runs past the volume, free space that is not erased).
Volume ParseVolume(std::span<const std::uint8_t> bytes, const std::string &where);

// Inserts `file` (built for erase polarity 1) into the free space of the
// volume in `bytes`, after a pad file when its data alignment asks for one.
// A TE image in the file is rebased for where it lands, which needs the
// volume's address. Returns the file's offset in the volume. Throws FvError
// if the volume does not parse, the file's name is already there, its
// alignment is more than the volume guarantees, or it does not fit.
// `teAddress`, if given, receives the address a TE image was rebased for.
std::uint32_t InsertFile(std::span<std::uint8_t> bytes, std::span<const std::uint8_t> file,
                         std::optional<std::uint64_t> volumeAddress, const std::string &where,
                         std::optional<std::uint64_t> *teAddress = nullptr);

// Replaces the volume's last file with `file` (of any size that fits), and
// erases what the old one left behind.
void ReplaceLastFile(std::span<std::uint8_t> bytes, const Volume &volume, const VolumeFile &old,
                     std::span<const std::uint8_t> file, const std::string &where);

}  // namespace boardfv
