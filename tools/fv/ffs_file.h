// Firmware files: the header (name, type, attributes, size, checksums,
// state) and the data that follows it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "tools/fv/guid.h"

namespace boardfv {

struct FileHeader {
  Guid name;
  std::uint8_t type = 0;
  std::uint8_t attributes = 0;
  std::uint8_t state = 0;  // as stored
  std::uint32_t size = 0;  // header included
  std::uint32_t headerSize = 0;

  // The alignment the attributes ask for the file's data.
  std::uint32_t DataAlignment() const;
};

// Reads the header of the file that starts `bytes` (which runs to the end of
// its volume) and checks its size and header checksum. Throws FvError naming
// `where`.
FileHeader ParseFileHeader(std::span<const std::uint8_t> bytes, std::string_view where);

// Throws FvError naming `where` if the data checksum of `file` (parsed as
// `header`) is wrong: a damaged file is refused, not repaired.
void RequireDataChecksum(std::span<const std::uint8_t> file, const FileHeader &header, std::string_view where);

// Whether a file's state says it is complete and not deleted, for a volume
// with the given erase polarity.
bool FileIsLive(std::uint8_t storedState, bool erasePolarity);
std::uint8_t CompleteState(bool erasePolarity);

// The data alignment attribute bits for the smallest alignment a file can
// declare that is at least `alignment`.
std::uint8_t DataAlignmentAttributes(std::uint32_t alignment);

struct FileHeaderFields {
  Guid name;
  std::uint8_t type = 0;
  std::uint8_t attributes = 0;  // the large-file bit is chosen from the size
};

// A complete file (state: header and data valid, erase polarity 1) holding
// `data`, with its header checksum and, when the attributes ask for it, its
// data checksum.
std::vector<std::uint8_t> BuildFile(const FileHeaderFields &header, std::span<const std::uint8_t> data);

// A pad file of `size` bytes (at least a header) for a volume of the given
// erase polarity, its data erased.
std::vector<std::uint8_t> BuildPadFile(std::uint32_t size, bool erasePolarity);

// Recomputes both checksums of a whole file after its data changed, and
// writes the state for the volume's erase polarity.
void SealFile(std::span<std::uint8_t> file, bool erasePolarity);

}  // namespace boardfv
