// A GUID as firmware stores it: the first three fields little-endian, then
// eight bytes in order. Written in registry form, e.g.
// "8C8CE578-8A3D-4F1C-9935-896185C32DD3".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace boardfv {

struct Guid {
  std::array<std::uint8_t, 16> bytes{};

  friend bool operator==(const Guid &, const Guid &) = default;

  // The registry form, or nothing if `text` is not one.
  static constexpr std::optional<Guid> Parse(std::string_view text);
  // For constants written in the source: a malformed one fails the build.
  static consteval Guid FromText(std::string_view text) { return Parse(text).value(); }
  static Guid Read(std::span<const std::uint8_t> bytes);  // the first 16 bytes

  std::string Text() const;  // registry form, upper case
};

constexpr std::optional<Guid> Guid::Parse(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return {};
  std::array<std::uint8_t, 16> inOrder{};  // the bytes as written
  std::size_t position = 0;
  for (std::size_t i = 0; i < 16; ++i) {
    if (text[position] == '-') ++position;
    unsigned value = 0;
    for (int digit = 0; digit < 2; ++digit, ++position) {
      const char c = text[position];
      const int nibble = c >= '0' && c <= '9'   ? c - '0'
                         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                : -1;
      if (nibble < 0) return {};
      value = value * 16 + static_cast<unsigned>(nibble);
    }
    inOrder[i] = static_cast<std::uint8_t>(value);
  }
  // The written order of the first three fields is most significant first.
  constexpr std::array<std::size_t, 16> kStoredFrom = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  Guid guid;
  for (std::size_t i = 0; i < 16; ++i) guid.bytes[i] = inOrder[kStoredFrom[i]];
  return guid;
}

}  // namespace boardfv
