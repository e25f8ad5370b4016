#include "sim/base/board_text.h"

#include <charconv>
#include <cstdio>

namespace boardsim {
namespace {

// One hex field of exactly `digits` characters, no sign, no prefix.
std::optional<unsigned> HexField(std::string_view text, std::size_t digitsMin, std::size_t digitsMax) {
  if (text.size() < digitsMin || text.size() > digitsMax) return std::nullopt;
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string Hex(std::uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string FormatBdf(std::uint16_t bdf) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X:%02X.%u", bdf >> 8, (bdf >> 3) & 0x1F, bdf & 7u);
  return text;
}

std::optional<std::uint16_t> ParseBdf(std::string_view text) {
  const auto colon = text.find(':');
  const auto dot = text.find('.');
  if (colon == std::string_view::npos || dot == std::string_view::npos || dot < colon) return std::nullopt;
  const auto bus = HexField(text.substr(0, colon), 1, 2);
  const auto device = HexField(text.substr(colon + 1, dot - colon - 1), 1, 2);
  const auto function = HexField(text.substr(dot + 1), 1, 1);
  if (!bus || !device || !function || *device > 0x1F || *function > 7) return std::nullopt;
  return static_cast<std::uint16_t>(*bus << 8 | *device << 3 | *function);
}

std::string FormatMac(const std::array<std::uint8_t, 6> &mac) {
  char text[24];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text) {
  std::array<std::uint8_t, 6> mac{};
  for (std::size_t i = 0; i < mac.size(); ++i) {
    const std::size_t start = i * 3;
    if (start + 2 > text.size()) return std::nullopt;
    const auto byte = HexField(text.substr(start, 2), 2, 2);
    if (!byte) return std::nullopt;
    const bool last = i + 1 == mac.size();
    if (last ? text.size() != start + 2 : text[start + 2] != ':') return std::nullopt;
    mac[i] = static_cast<std::uint8_t>(*byte);
  }
  return mac;
}

std::string Clipped(std::string_view text) {
  constexpr std::size_t kShown = 40;
  if (text.size() <= kShown) return std::string(text);
  std::size_t cut = kShown;
  // Never split a UTF-8 sequence: back up to the start of a character.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "\u2026";
}

}  // namespace boardsim
