// Volumes built by hand for the packer's tests, laid out as EDK II lays them
// out: header, one-block map, the extended header (the volume's name) inside
// a pad file, then erased free space. Offsets are written out here, not taken
// from the packer, so a wrong constant there shows.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace fvtest {

// A 16-byte GUID in stored order.
using GuidBytes = std::array<std::uint8_t, 16>;

inline constexpr GuidBytes kInnerVolumeName = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                               0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xF0, 0x01};
inline constexpr GuidBytes kOuterVolumeName = {0xA1, 0xA2, 0xA3, 0xA4, 0xB1, 0xB2, 0xC1, 0xC2,
                                               0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8};

// An empty volume of `length` bytes, erase polarity 1, aligned to
// 1 << alignmentLog2. Its files start at offset 0x78.
std::vector<std::uint8_t> EmptyVolume(std::uint32_t length, unsigned alignmentLog2, const GuidBytes &name);

// Appends a file built by hand (small header, no data checksum) at the next
// 8-byte boundary after `end`; returns the offset after it.
std::uint32_t PutFile(std::vector<std::uint8_t> &volume, std::uint32_t end, const GuidBytes &name, std::uint8_t type,
                      std::span<const std::uint8_t> data);

std::uint32_t Little(std::span<const std::uint8_t> bytes, std::size_t offset, unsigned size);
std::uint8_t Sum8(std::span<const std::uint8_t> bytes);

}  // namespace fvtest
