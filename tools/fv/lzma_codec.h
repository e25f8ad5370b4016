// The data of an LZMA-compressed section: a 13-byte header (properties,
// dictionary size, uncompressed size as a real 64-bit count) and a raw LZMA
// stream. Firmware decompressors refuse the "size unknown" header that LZMA
// tools write by default, so the header is ours; the stream is Debian's
// liblzma.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace boardfv {

inline constexpr std::size_t kLzmaHeaderSize = 13;

// Throws FvError if the stream does not decode to the size its header gives.
std::vector<std::uint8_t> LzmaDecompress(std::span<const std::uint8_t> stream);

std::vector<std::uint8_t> LzmaCompress(std::span<const std::uint8_t> data);

}  // namespace boardfv
