#include "hand_made_volume.h"

#include <algorithm>
#include <numeric>

namespace fvtest {

namespace {

void Put(std::vector<std::uint8_t> &bytes, std::size_t offset, std::uint64_t value, unsigned size) {
  for (unsigned i = 0; i < size; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutHeader(std::vector<std::uint8_t> &volume, std::uint32_t at, const GuidBytes &name, std::uint8_t type,
               std::uint32_t size) {
  std::copy(name.begin(), name.end(), volume.begin() + at);
  volume[at + 16] = 0;     // header checksum, below
  volume[at + 17] = 0xAA;  // no data checksum
  volume[at + 18] = type;
  volume[at + 19] = 0;
  Put(volume, at + 20, size, 3);
  volume[at + 23] = 0;
  volume[at + 16] = static_cast<std::uint8_t>(0x100 - Sum8(std::span(volume).subspan(at, 24)) + 0xAA);
  volume[at + 23] = 0xF8;  // header and data valid, polarity 1
}

}  // namespace

std::uint32_t Little(std::span<const std::uint8_t> bytes, std::size_t offset, unsigned size) {
  std::uint32_t value = 0;
  for (unsigned i = size; i-- > 0;) value = value << 8 | bytes[offset + i];
  return value;
}

std::uint8_t Sum8(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::vector<std::uint8_t> EmptyVolume(std::uint32_t length, unsigned alignmentLog2, const GuidBytes &name) {
  std::vector<std::uint8_t> volume(length, 0xFF);
  std::fill_n(volume.begin(), 0x48, 0);
  // File system: FFS 2, 8C8CE578-8A3D-4F1C-9935-896185C32DD3.
  constexpr GuidBytes kFfs2 = {0x78, 0xE5, 0x8C, 0x8C, 0x3D, 0x8A, 0x1C, 0x4F,
                               0x99, 0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3};
  std::copy(kFfs2.begin(), kFfs2.end(), volume.begin() + 16);
  Put(volume, 32, length, 8);
  Put(volume, 40, 0x4856465F, 4);                          // "_FVH"
  Put(volume, 44, 0x0000FEFF | (alignmentLog2 << 16), 4);  // erase polarity 1 among the usual bits
  Put(volume, 48, 0x48, 2);                                // header length
  Put(volume, 52, 0x60, 2);                                // extended header offset
  volume[55] = 2;                                          // revision
  Put(volume, 56, length / 0x1000, 4);                     // block map: blocks of 4 KiB, then the end
  Put(volume, 60, 0x1000, 4);
  std::uint16_t sum = 0;
  for (int i = 0; i < 0x48; i += 2) sum = static_cast<std::uint16_t>(sum + Little(volume, i, 2));
  Put(volume, 50, static_cast<std::uint16_t>(0x10000 - sum), 2);
  // The pad file holding the extended header: the name and its 20-byte size.
  std::vector<std::uint8_t> extended(name.begin(), name.end());
  extended.insert(extended.end(), {20, 0, 0, 0});
  constexpr GuidBytes kErased = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  PutFile(volume, 0x48, kErased, 0xF0, extended);
  return volume;
}

std::uint32_t PutFile(std::vector<std::uint8_t> &volume, std::uint32_t end, const GuidBytes &name, std::uint8_t type,
                      std::span<const std::uint8_t> data) {
  const std::uint32_t at = (end + 7) & ~7u;
  const auto size = static_cast<std::uint32_t>(24 + data.size());
  PutHeader(volume, at, name, type, size);
  std::copy(data.begin(), data.end(), volume.begin() + at + 24);
  return at + size;
}

}  // namespace fvtest
