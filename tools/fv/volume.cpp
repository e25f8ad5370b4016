#include "tools/fv/volume.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "sim/image/byte_reader.h"
#include "tools/fv/ffs_format.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/placement.h"

namespace boardfv {

using boardimage::Hex;

namespace {

bool HeaderSumsToZero(std::span<const std::uint8_t> header) {
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i + 1 < header.size(); i += 2)
    sum = static_cast<std::uint16_t>(sum + header[i] + (header[i + 1] << 8));
  return sum == 0;
}

bool AllErased(std::span<const std::uint8_t> bytes, bool erasePolarity) {
  const std::uint8_t erased = erasePolarity ? 0xFF : 0x00;
  return std::all_of(bytes.begin(), bytes.end(), [erased](std::uint8_t b) { return b == erased; });
}

// A file with the extended size field needs an FFS 3 volume.
void RequireFileSystemFor(const Volume &volume, const FileHeader &file, const std::string &where) {
  if (file.headerSize == ffs::kLargeFileHeaderSize && !volume.largeFiles) {
    throw FvError(where + ": file " + file.name.Text() + " (" + Hex(file.size) +
                  " bytes) needs the large-file header, which an FFS 2 volume does not know");
  }
}

}  // namespace

bool LooksLikeVolume(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < ffs::kVolumeHeaderSize) return false;
  const boardimage::ByteReader reader(bytes);
  if (reader.U32(ffs::kVolumeSignatureOffset, "") != ffs::kVolumeSignature) return false;
  const std::uint16_t headerLength = reader.U16(ffs::kVolumeHeaderLengthOffset, "");
  return headerLength >= ffs::kVolumeHeaderSize && headerLength <= bytes.size() &&
         HeaderSumsToZero(bytes.first(headerLength));
}

bool HasFfsFileSystem(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < ffs::kVolumeHeaderSize) return false;
  const Guid fileSystem = Guid::Read(bytes.subspan(ffs::kVolumeFileSystemGuidOffset, 16));
  return fileSystem == ffs::kFileSystem2Guid || fileSystem == ffs::kFileSystem3Guid;
}

std::uint64_t SkippedVolumeLength(std::span<const std::uint8_t> bytes, const std::string &where) {
  const boardimage::ByteReader reader(bytes);
  const std::uint64_t length = reader.U64(ffs::kVolumeLengthOffset, where);
  const std::uint16_t headerLength = reader.U16(ffs::kVolumeHeaderLengthOffset, where);
  if (length > bytes.size() || length < headerLength) {
    throw FvError(where + ": the volume's length " + Hex(length) + " does not fit the " + Hex(bytes.size()) +
                  " bytes it has");
  }
  return length;
}

Volume ParseVolume(std::span<const std::uint8_t> bytes, const std::string &where) {
  const boardimage::ByteReader reader(bytes);
  if (bytes.size() < ffs::kVolumeHeaderSize ||
      reader.U32(ffs::kVolumeSignatureOffset, where) != ffs::kVolumeSignature) {
    throw FvError(where + ": no volume header (signature \"_FVH\" at offset 0x28)");
  }
  const std::uint16_t headerLength = reader.U16(ffs::kVolumeHeaderLengthOffset, where);
  if (headerLength < ffs::kVolumeHeaderSize || headerLength > bytes.size() ||
      !HeaderSumsToZero(bytes.first(headerLength))) {
    throw FvError(where + ": the volume header (" + Hex(headerLength) + " bytes) has a wrong checksum");
  }
  const Guid fileSystem = Guid::Read(reader.Bytes(ffs::kVolumeFileSystemGuidOffset, 16, where));
  if (fileSystem != ffs::kFileSystem2Guid && fileSystem != ffs::kFileSystem3Guid) {
    throw FvError(where + ": file system " + fileSystem.Text() + " is not FFS 2 or 3");
  }
  Volume volume;
  volume.largeFiles = fileSystem == ffs::kFileSystem3Guid;
  volume.length = reader.U64(ffs::kVolumeLengthOffset, where);
  if (volume.length > bytes.size() || volume.length < headerLength) {
    throw FvError(where + ": the volume's length " + Hex(volume.length) + " does not fit the " + Hex(bytes.size()) +
                  " bytes it has");
  }
  const std::uint32_t attributes = reader.U32(ffs::kVolumeAttributesOffset, where);
  volume.erasePolarity = (attributes & ffs::kVolumeErasePolarity) != 0;
  volume.alignment = 1u << ((attributes & ffs::kVolumeAlignmentMask) >> ffs::kVolumeAlignmentShift);

  if (volume.length > kMaxVolumeLength) {
    throw FvError(where + ": the volume's length " + Hex(volume.length) + " is more than the " + Hex(kMaxVolumeLength) +
                  " fvpack handles");
  }
  const auto length = static_cast<std::uint32_t>(volume.length);
  std::uint64_t offset = ffs::AlignUp(headerLength, ffs::kFileAlignment);
  if (const std::uint16_t extOffset = reader.U16(ffs::kVolumeExtHeaderOffsetOffset, where); extOffset != 0) {
    const std::string at = where + ": extended header at offset " + Hex(extOffset);
    if (std::uint64_t{extOffset} + ffs::kVolumeExtHeaderSizeOffset + 4 > length) {
      throw FvError(at + " lies past the volume's end " + Hex(length));
    }
    volume.name = Guid::Read(reader.Bytes(extOffset, 16, at));
    const std::uint32_t extSize = reader.U32(extOffset + ffs::kVolumeExtHeaderSizeOffset, at);
    if (std::uint64_t{extOffset} + extSize > length) {
      throw FvError(at + ": its size " + Hex(extSize) + " runs past the volume's end " + Hex(length));
    }
    // Files start after the extended header, as the cores walk them (EDK II
    // wraps that header in a pad file, which this skips).
    offset = ffs::AlignUp64(std::uint64_t{extOffset} + extSize, ffs::kFileAlignment);
  }

  const std::uint8_t erased = volume.erasePolarity ? 0xFF : 0x00;
  while (offset + ffs::kFileHeaderSize <= length) {
    const auto rest = bytes.subspan(offset, length - offset);
    if (std::all_of(rest.begin(), rest.begin() + ffs::kFileHeaderSize,
                    [erased](std::uint8_t b) { return b == erased; })) {
      break;
    }
    VolumeFile file;
    file.offset = static_cast<std::uint32_t>(offset);
    file.header = ParseFileHeader(rest, where + ": file at offset " + Hex(offset));
    file.live = FileIsLive(file.header.state, volume.erasePolarity);
    volume.files.push_back(file);
    offset = ffs::AlignUp64(offset + file.header.size, ffs::kFileAlignment);
  }
  volume.freeOffset = volume.files.empty() ? static_cast<std::uint32_t>(std::min<std::uint64_t>(offset, length))
                                           : volume.files.back().offset + volume.files.back().header.size;
  if (volume.freeOffset < length &&
      !AllErased(bytes.subspan(volume.freeOffset, length - volume.freeOffset), volume.erasePolarity)) {
    throw FvError(where + ": the free space from offset " + Hex(volume.freeOffset) +
                  " holds bytes that are not erased");
  }
  return volume;
}

std::uint32_t InsertFile(std::span<std::uint8_t> bytes, std::span<const std::uint8_t> file,
                         std::optional<std::uint64_t> volumeAddress, const std::string &where,
                         std::optional<std::uint64_t> *teAddress) {
  const Volume volume = ParseVolume(bytes, where);
  const FileHeader header = ParseFileHeader(file, where + ": the file to insert");
  RequireDataChecksum(file, header, where + ": the file to insert");
  for (const auto &present : volume.files) {
    if (present.live && present.header.name == header.name) {
      throw FvError(where + ": a file named " + header.name.Text() + " is already there, at offset " +
                    Hex(present.offset));
    }
  }
  RequireFileSystemFor(volume, header, where);
  const std::uint32_t alignment = std::max(header.DataAlignment(), ffs::kFileAlignment);
  if (alignment > volume.alignment) {
    throw FvError(where + ": file " + header.name.Text() + " asks for data aligned to " + Hex(alignment) +
                  ", more than the volume's own alignment " + Hex(volume.alignment));
  }
  std::uint32_t offset = ffs::AlignUp(volume.freeOffset, ffs::kFileAlignment);
  std::uint32_t padSize = 0;
  if ((offset + header.headerSize) % alignment != 0) {
    // A pad file takes the gap; it needs room for at least its header.
    const std::uint32_t dataStart = ffs::AlignUp(offset + ffs::kFileHeaderSize + header.headerSize, alignment);
    padSize = dataStart - header.headerSize - offset;
  }
  const std::uint64_t needed = std::uint64_t{offset} + padSize + header.size;
  if (needed > volume.length) {
    throw FvError(where + ": no room for file " + header.name.Text() + " (" + Hex(padSize + header.size) +
                  " bytes with alignment) in the " + Hex(volume.length - offset) + " free bytes from offset " +
                  Hex(offset));
  }
  if (padSize >= ffs::kMaxSmallSize) {
    throw FvError(where + ": file " + header.name.Text() + " would need a pad file of " + Hex(padSize) +
                  " bytes, more than a pad file's 24-bit size holds");
  }
  if (padSize != 0) {
    const auto pad = BuildPadFile(padSize, volume.erasePolarity);
    std::copy(pad.begin(), pad.end(), bytes.begin() + offset);
    offset += padSize;
  }
  const auto placed = bytes.subspan(offset, header.size);
  std::copy(file.begin(), file.begin() + header.size, placed.begin());
  std::optional<std::uint64_t> fileAddress;
  if (volumeAddress) {
    if (*volumeAddress % volume.alignment != 0 || *volumeAddress > UINT64_MAX - volume.length) {
      throw FvError(where + ": the volume's address " + Hex(*volumeAddress) + " is not aligned to its alignment " +
                    Hex(volume.alignment) + " or leaves no room for its " + Hex(volume.length) + " bytes");
    }
    fileAddress = *volumeAddress + offset;
  }
  const auto rebasedAt = PlaceFile(placed, fileAddress, volume.erasePolarity, where);
  if (teAddress != nullptr) *teAddress = rebasedAt;
  return offset;
}

void ReplaceLastFile(std::span<std::uint8_t> bytes, const Volume &volume, const VolumeFile &old,
                     std::span<const std::uint8_t> file, const std::string &where) {
  if (&old != &volume.files.back()) {
    throw FvError(where + ": file " + old.header.name.Text() + " at offset " + Hex(old.offset) +
                  " changes size but is not the volume's last file");
  }
  RequireFileSystemFor(volume, ParseFileHeader(file, where + ": the rebuilt file"), where);
  if (old.offset + file.size() > volume.length) {
    throw FvError(where + ": file " + old.header.name.Text() + " grows to " + Hex(file.size()) +
                  " bytes, more than the volume has from offset " + Hex(old.offset));
  }
  const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(volume.length);
  std::fill(bytes.begin() + old.offset, end, volume.erasePolarity ? 0xFF : 0x00);
  std::copy(file.begin(), file.end(), bytes.begin() + old.offset);
}

}  // namespace boardfv
