#include "sim/base/board_text.h"

#include <charconv>
#include <cstdio>
#include <utility>

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

namespace {

// The length of the well-formed UTF-8 sequence at `at` (2 to 4 bytes) and
// its code point; none for a lone or overlong byte sequence.
std::optional<std::pair<std::size_t, char32_t>> Utf8Sequence(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(at);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) return std::nullopt;
  char32_t point = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
    point = point << 6 | (byte(at + i) & 0x3Fu);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return std::nullopt;
  return std::pair{length, point};
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x20 && c < 0x7F) {
      shown.push_back(static_cast<char>(c));
      ++at;
    } else if (c == '\n' || c == '\r' || c == '\t') {
      shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
      ++at;
    } else if (const auto sequence = c >= 0x80 ? Utf8Sequence(text, at) : std::nullopt) {
      const auto [length, point] = *sequence;
      if (point < 0xA0)  // C1 controls: CSI (U+009B) starts an escape on some terminals
        shown += "\\u" + Hex(point, 4).substr(2);
      else
        shown.append(text.substr(at, length));
      at += length;
    } else {
      shown += "\\x" + Hex(c, 2).substr(2);
      ++at;
    }
  }
  return shown;
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
