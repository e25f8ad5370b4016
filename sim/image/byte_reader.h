// Bounds-checked little-endian reads from an image file. A read past the end
// throws ImageFormatError naming the field and its offset, so a damaged or
// truncated image is reported, never read out of bounds.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace boardimage {

class ImageFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "0x1A0": offsets and addresses in messages.
std::string Hex(std::uint64_t value);

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Size() const { return bytes_.size(); }
  std::uint8_t U8(std::uint64_t offset, std::string_view field) const;
  std::uint16_t U16(std::uint64_t offset, std::string_view field) const;
  std::uint32_t U32(std::uint64_t offset, std::string_view field) const;
  std::uint64_t U64(std::uint64_t offset, std::string_view field) const;
  std::span<const std::uint8_t> Bytes(std::uint64_t offset, std::uint64_t size, std::string_view field) const;

 private:
  std::uint64_t Little(std::uint64_t offset, unsigned size, std::string_view field) const;

  std::span<const std::uint8_t> bytes_;
};

// Little-endian stores into a buffer the caller has sized.
void PutU16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void PutU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void PutU64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value);

}  // namespace boardimage
