#include "sim/image/byte_reader.h"

#include <cstdio>

namespace boardimage {

std::string Hex(std::uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
  return buffer;
}

std::span<const std::uint8_t> ByteReader::Bytes(std::uint64_t offset, std::uint64_t size,
                                                std::string_view field) const {
  if (offset > bytes_.size() || size > bytes_.size() - offset) {
    throw ImageFormatError(std::string(field) + " (" + std::to_string(size) + " bytes at offset " + Hex(offset) +
                           ") lies beyond the end of the file (" + std::to_string(bytes_.size()) + " bytes)");
  }
  return bytes_.subspan(offset, size);
}

std::uint64_t ByteReader::Little(std::uint64_t offset, unsigned size, std::string_view field) const {
  const auto bytes = Bytes(offset, size, field);
  std::uint64_t value = 0;
  for (unsigned i = size; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

std::uint8_t ByteReader::U8(std::uint64_t offset, std::string_view field) const {
  return static_cast<std::uint8_t>(Little(offset, 1, field));
}
std::uint16_t ByteReader::U16(std::uint64_t offset, std::string_view field) const {
  return static_cast<std::uint16_t>(Little(offset, 2, field));
}
std::uint32_t ByteReader::U32(std::uint64_t offset, std::string_view field) const {
  return static_cast<std::uint32_t>(Little(offset, 4, field));
}
std::uint64_t ByteReader::U64(std::uint64_t offset, std::string_view field) const { return Little(offset, 8, field); }

namespace {

void PutLittle(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value, unsigned size) {
  for (unsigned i = 0; i < size; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

void PutU16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  PutLittle(bytes, offset, value, 2);
}
void PutU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  PutLittle(bytes, offset, value, 4);
}
void PutU64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value) {
  PutLittle(bytes, offset, value, 8);
}

}  // namespace boardimage
