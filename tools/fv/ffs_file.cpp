#include "tools/fv/ffs_file.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "sim/image/byte_reader.h"
#include "tools/fv/ffs_format.h"
#include "tools/fv/fv_error.h"

namespace boardfv {

using boardimage::Hex;

namespace {

std::uint8_t Sum8(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

// The header checksum makes the header's bytes sum to zero, counting the
// data checksum and the state as zero (both change after the header is
// written).
std::uint8_t HeaderChecksum(std::span<const std::uint8_t> header) {
  const std::uint8_t others =
      static_cast<std::uint8_t>(Sum8(header) - header[ffs::kFileHeaderChecksumOffset] -
                                header[ffs::kFileDataChecksumOffset] - header[ffs::kFileStateOffset]);
  return static_cast<std::uint8_t>(0x100 - others);
}

std::uint32_t HeaderSizeOf(std::span<const std::uint8_t> header) {
  return (header[ffs::kFileAttributesOffset] & ffs::kAttributeLargeFile) != 0 ? ffs::kLargeFileHeaderSize
                                                                              : ffs::kFileHeaderSize;
}

}  // namespace

std::uint32_t FileHeader::DataAlignment() const {
  const unsigned index = (attributes & ffs::kAttributeDataAlignmentMask) >> ffs::kAttributeDataAlignmentShift;
  return (attributes & ffs::kAttributeDataAlignment2) != 0 ? ffs::kDataAlignments2[index] : ffs::kDataAlignments[index];
}

FileHeader ParseFileHeader(std::span<const std::uint8_t> bytes, std::string_view where) {
  const std::string at(where);
  if (bytes.size() < ffs::kFileHeaderSize) throw FvError(at + ": file header is cut off by the end of the volume");
  const boardimage::ByteReader reader(bytes);
  FileHeader header;
  header.name = Guid::Read(bytes);
  header.type = bytes[ffs::kFileTypeOffset];
  header.attributes = bytes[ffs::kFileAttributesOffset];
  header.state = bytes[ffs::kFileStateOffset];
  header.headerSize = HeaderSizeOf(bytes);
  header.size = reader.U32(ffs::kFileSizeOffset, at) & 0xFFFFFF;
  if (header.headerSize == ffs::kLargeFileHeaderSize) {
    if (bytes.size() < ffs::kLargeFileHeaderSize) throw FvError(at + ": large file header is cut off");
    header.size = reader.U32(ffs::kFileExtendedSizeOffset, at);
  }
  if (header.size < header.headerSize || header.size > bytes.size()) {
    throw FvError(at + ": file " + header.name.Text() + " has size " + Hex(header.size) + ", but only " +
                  Hex(bytes.size()) + " bytes are there from its start");
  }
  const auto headerBytes = bytes.first(header.headerSize);
  if (HeaderChecksum(headerBytes) != bytes[ffs::kFileHeaderChecksumOffset]) {
    throw FvError(at + ": file " + header.name.Text() + " has a wrong header checksum " +
                  Hex(bytes[ffs::kFileHeaderChecksumOffset]) + " (expected " + Hex(HeaderChecksum(headerBytes)) + ")");
  }
  return header;
}

void RequireDataChecksum(std::span<const std::uint8_t> file, const FileHeader &header, std::string_view where) {
  const std::uint8_t expected =
      (header.attributes & ffs::kAttributeChecksum) != 0
          ? static_cast<std::uint8_t>(0x100 - Sum8(file.first(header.size).subspan(header.headerSize)))
          : ffs::kFixedDataChecksum;
  if (file[ffs::kFileDataChecksumOffset] != expected) {
    throw FvError(std::string(where) + ": file " + header.name.Text() + " has a wrong data checksum " +
                  Hex(file[ffs::kFileDataChecksumOffset]) + " (expected " + Hex(expected) + ")");
  }
}

bool FileIsLive(std::uint8_t storedState, bool erasePolarity) {
  const auto state = static_cast<std::uint8_t>(erasePolarity ? ~storedState : storedState);
  // The highest bit set tells the state; bits below it stay set.
  for (std::uint8_t bit = ffs::kStateHeaderInvalid; bit != 0; bit >>= 1) {
    if ((state & bit) != 0) return bit == ffs::kStateDataValid || bit == ffs::kStateMarkedForUpdate;
  }
  return false;
}

std::uint8_t CompleteState(bool erasePolarity) {
  return static_cast<std::uint8_t>(erasePolarity ? ~ffs::kStateComplete : ffs::kStateComplete);
}

std::uint8_t DataAlignmentAttributes(std::uint32_t alignment) {
  for (std::uint8_t index = 0; index < 8; ++index) {
    if (ffs::kDataAlignments[index] >= alignment) return static_cast<std::uint8_t>(index << 3);
  }
  for (std::uint8_t index = 0; index < 8; ++index) {
    if (ffs::kDataAlignments2[index] >= alignment) {
      return static_cast<std::uint8_t>(index << 3 | ffs::kAttributeDataAlignment2);
    }
  }
  throw FvError("no file can ask for an alignment of " + Hex(alignment));
}

std::vector<std::uint8_t> BuildFile(const FileHeaderFields &header, std::span<const std::uint8_t> data) {
  const bool large = data.size() + ffs::kFileHeaderSize > ffs::kMaxSmallSize;
  const std::uint32_t headerSize = large ? ffs::kLargeFileHeaderSize : ffs::kFileHeaderSize;
  const auto size = static_cast<std::uint32_t>(headerSize + data.size());
  std::vector<std::uint8_t> file(headerSize, 0);
  std::copy(header.name.bytes.begin(), header.name.bytes.end(), file.begin());
  file[ffs::kFileTypeOffset] = header.type;
  file[ffs::kFileAttributesOffset] = static_cast<std::uint8_t>((header.attributes & ~ffs::kAttributeLargeFile) |
                                                               (large ? ffs::kAttributeLargeFile : 0));
  if (large) {
    boardimage::PutU32(file, ffs::kFileExtendedSizeOffset, size);
  } else {
    boardimage::PutU32(file, ffs::kFileSizeOffset, size);  // the state byte is written below
  }
  file.insert(file.end(), data.begin(), data.end());
  SealFile(file, true);
  return file;
}

std::vector<std::uint8_t> BuildPadFile(std::uint32_t size, bool erasePolarity) {
  const std::uint8_t erased = erasePolarity ? 0xFF : 0x00;
  std::vector<std::uint8_t> file(size, erased);
  // A pad file's name is left erased; cores skip pad files by type.
  file[ffs::kFileTypeOffset] = ffs::kFileTypePad;
  file[ffs::kFileAttributesOffset] = 0;
  boardimage::PutU32(file, ffs::kFileSizeOffset, size);
  SealFile(file, erasePolarity);
  return file;
}

void SealFile(std::span<std::uint8_t> file, bool erasePolarity) {
  const std::uint32_t headerSize = HeaderSizeOf(file);
  file[ffs::kFileDataChecksumOffset] = (file[ffs::kFileAttributesOffset] & ffs::kAttributeChecksum) != 0
                                           ? static_cast<std::uint8_t>(0x100 - Sum8(file.subspan(headerSize)))
                                           : ffs::kFixedDataChecksum;
  file[ffs::kFileStateOffset] = CompleteState(erasePolarity);
  file[ffs::kFileHeaderChecksumOffset] = HeaderChecksum(file.first(headerSize));
}

}  // namespace boardfv
