// Text forms of board values, shared by board files, messages and reports.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace boardsim {

// "0xA305"; with digits, zero-padded: Hex(0x20, 8) is "0x00000020".
std::string Hex(std::uint64_t value, int digits = 0);

// A 16-bit bus/device/function as "02:00.0" (bus and device in hex).
std::string FormatBdf(std::uint16_t bdf);
// Parses "bb:dd.f"; empty if the text is not of that form or out of range.
std::optional<std::uint16_t> ParseBdf(std::string_view text);

// "02:4B:52:56:37:01"
std::string FormatMac(const std::array<std::uint8_t, 6> &mac);
std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text);

// Text taken from a file, cut to its first 40 characters with "…" when it is
// longer, so that a message never echoes a huge token whole.
std::string Clipped(std::string_view text);

// Text taken from a board file or from guest memory, made safe to print on a
// terminal, one line: \n, \r and \t as such, other control characters as
// \x1B (C1 controls as \u009B), bytes that are not UTF-8 as \xFF. Printable
// text, UTF-8 included, stays as it is.
std::string Printable(std::string_view text);

}  // namespace boardsim
