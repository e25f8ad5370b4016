#include "tools/fv/te_rebase.h"

#include <string>

#include "sim/image/byte_reader.h"
#include "sim/image/image_headers.h"
#include "tools/fv/fv_error.h"

namespace boardfv {

using boardimage::Hex;
namespace pe = boardimage::pe;

namespace {

inline constexpr std::uint32_t kTeImageBaseField = 16;
inline constexpr std::uint32_t kMaxImageAlignment = 0x1000;

boardimage::ImageHeaders ParseTeHeaders(std::span<const std::uint8_t> te) {
  auto headers = boardimage::ParseImage(te);
  if (headers.format != boardimage::ImageFormat::Te) throw FvError("the image is not a TE image");
  return headers;
}

void ApplyRelocations(std::vector<std::uint8_t> &image, const boardimage::ImageHeaders &headers, std::uint64_t delta) {
  const auto &directory = headers.Directory(pe::kDirectoryBaseRelocation);
  if (directory.size == 0) return;
  const auto tableOffset = headers.FileOffsetOf(directory.rva, directory.size);
  if (!tableOffset) throw FvError("the base relocation table at RVA " + Hex(directory.rva) + " is not in the file");
  const boardimage::ByteReader reader(image);
  std::uint64_t block = *tableOffset;
  while (block < *tableOffset + directory.size) {
    const std::uint32_t pageRva = reader.U32(block, "relocation block page");
    const std::uint32_t blockSize = reader.U32(block + 4, "relocation block size");
    if (blockSize < pe::kBaseRelocationBlockHeaderSize) {
      throw FvError("relocation block at " + Hex(block) + " has size " + Hex(blockSize));
    }
    for (std::uint32_t entry = pe::kBaseRelocationBlockHeaderSize; entry + 2 <= blockSize; entry += 2) {
      const std::uint16_t value = reader.U16(block + entry, "relocation entry");
      const auto type = static_cast<std::uint8_t>(value >> 12);
      const std::uint32_t rva = pageRva + (value & 0xFFFu);
      if (type == pe::kRelocationAbsolute) continue;
      const std::uint32_t width = type == pe::kRelocationHighLow ? 4 : type == pe::kRelocationDir64 ? 8 : 0;
      if (width == 0) throw FvError("relocation of type " + std::to_string(type) + " at RVA " + Hex(rva));
      const auto at = headers.FileOffsetOf(rva, width);
      if (!at) throw FvError("relocation at RVA " + Hex(rva) + " points outside the image's file data");
      if (width == 4) {
        boardimage::PutU32(image, *at, static_cast<std::uint32_t>(reader.U32(*at, "relocated value") + delta));
      } else {
        boardimage::PutU64(image, *at, reader.U64(*at, "relocated value") + delta);
      }
    }
    block += blockSize;
  }
}

}  // namespace

std::int64_t TeImageBaseOffset(std::span<const std::uint8_t> te) {
  return std::int64_t{ParseTeHeaders(te).strippedSize} - pe::kTeHeaderSize;
}

std::uint32_t TeImageAlignment(std::span<const std::uint8_t> te) {
  std::uint32_t alignment = kMaxImageAlignment;
  for (const auto &section : ParseTeHeaders(te).sections) {
    while (section.virtualAddress % alignment != 0) alignment /= 2;
  }
  return alignment;
}

std::vector<std::uint8_t> RebaseTe(std::span<const std::uint8_t> te, std::uint64_t headerAddress) {
  const auto headers = ParseTeHeaders(te);
  const std::uint64_t imageBase = headerAddress + pe::kTeHeaderSize - headers.strippedSize;
  const std::uint64_t imageEnd = headerAddress + te.size();
  if (headers.machine == pe::kMachineI386 &&
      (imageBase > 0xFFFFFFFF || imageEnd > 0x100000000 || imageEnd < headerAddress)) {
    throw FvError("an IA-32 TE image of " + Hex(te.size()) + " bytes cannot lie at " + Hex(headerAddress) +
                  ": it must stay below 4 GiB");
  }
  std::vector<std::uint8_t> image(te.begin(), te.end());
  ApplyRelocations(image, headers, imageBase - headers.imageBase);
  boardimage::PutU64(image, kTeImageBaseField, imageBase);
  return image;
}

}  // namespace boardfv
