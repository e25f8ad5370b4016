#include "sim/image/image_contents.h"

#include "sim/image/byte_reader.h"

namespace boardimage {

namespace {

// The file bytes of a directory; an empty span if the image has none.
std::span<const std::uint8_t> DirectoryBytes(const ImageHeaders &headers, std::span<const std::uint8_t> file,
                                             std::size_t index) {
  const DataDirectory &directory = headers.Directory(index);
  if (directory.size == 0) return {};
  const auto offset = headers.FileOffsetOf(directory.rva, directory.size);
  if (!offset) {
    throw ImageFormatError(std::string(pe::kDirectoryNames[index]) + " (RVA " + Hex(directory.rva) + ", " +
                           std::to_string(directory.size) + " bytes) is not inside one section's file data");
  }
  return ByteReader(file).Bytes(*offset, directory.size, pe::kDirectoryNames[index]);
}

}  // namespace

std::vector<BaseRelocation> ReadBaseRelocations(const ImageHeaders &headers, std::span<const std::uint8_t> file) {
  const ByteReader table(DirectoryBytes(headers, file, pe::kDirectoryBaseRelocation));
  std::vector<BaseRelocation> relocations;
  std::size_t at = 0;
  while (at < table.Size()) {
    const std::string block = "base relocation block at table offset " + Hex(at);
    const std::uint32_t page = table.U32(at, block);
    const std::uint32_t blockSize = table.U32(at + 4, block);
    if (blockSize < pe::kBaseRelocationBlockHeaderSize || blockSize % 4 != 0) {
      throw ImageFormatError(block + " has size " + std::to_string(blockSize) +
                             "; a block is at least 8 bytes and a multiple of 4");
    }
    table.Bytes(at, blockSize, block);
    for (std::size_t entry = at + pe::kBaseRelocationBlockHeaderSize; entry < at + blockSize; entry += 2) {
      const std::uint16_t value = table.U16(entry, block);
      const auto type = static_cast<std::uint8_t>(value >> 12);
      if (type != pe::kRelocationAbsolute) relocations.push_back({page + (value & 0x0FFFu), type});
    }
    at += blockSize;
  }
  return relocations;
}

std::vector<DebugEntry> ReadDebugDirectory(const ImageHeaders &headers, std::span<const std::uint8_t> file) {
  const ByteReader table(DirectoryBytes(headers, file, pe::kDirectoryDebug));
  if (table.Size() % pe::kDebugDirectoryEntrySize != 0) {
    throw ImageFormatError("debug directory size " + std::to_string(table.Size()) + " is not a multiple of " +
                           std::to_string(pe::kDebugDirectoryEntrySize));
  }
  std::vector<DebugEntry> entries;
  for (std::size_t at = 0; at < table.Size(); at += pe::kDebugDirectoryEntrySize) {
    entries.push_back({table.U32(at + 12, "debug entry Type"), table.U32(at + 16, "debug entry SizeOfData"),
                       table.U32(at + 20, "debug entry AddressOfRawData"),
                       table.U32(at + 24, "debug entry PointerToRawData")});
  }
  return entries;
}

}  // namespace boardimage
