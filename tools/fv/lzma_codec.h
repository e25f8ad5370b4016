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

// The largest dictionary a header may ask for, and what the decoder may use.
inline constexpr std::uint32_t kMaxDictionarySize = 64u << 20;
inline constexpr std::uint64_t kDecoderMemoryLimit = 256u << 20;

// Throws FvError if the header's dictionary is larger than
// kMaxDictionarySize, it claims more than `budget` unpacked bytes (checked
// before anything is allocated), or the stream does not decode to the size
// its header gives. Messages say what is wrong; the caller adds where.
std::vector<std::uint8_t> LzmaDecompress(std::span<const std::uint8_t> stream, std::uint64_t budget);

std::vector<std::uint8_t> LzmaCompress(std::span<const std::uint8_t> data);

}  // namespace boardfv
