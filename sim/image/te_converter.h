// Converts a linked PE32 (or PE32+) image into a Terse Executable (TE) image
// that executes in place from flash: the DOS, PE and optional headers are
// replaced by the 40-byte TE header, and everything from the section table on
// is kept byte for byte, so sections stay where the linker put them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace boardimage {

// The image cannot become an execute-in-place TE image; the message says why.
class TeConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TeOptions {
  // Where the TE header will sit in flash, below 4 GiB. When given, the image
  // must be linked for it: ImageBase + StrippedSize - 40 must equal it.
  std::optional<std::uint32_t> flashAddress;
};

// A flash address as given on the command line: decimal, or hex with 0x.
// Throws TeConversionError for anything else, a sign included, and for a
// value that is not a 32-bit address.
std::uint32_t ParseFlashAddress(std::string_view text);

// Throws ImageFormatError for a malformed input and TeConversionError for a
// well-formed one that an IA-32 core could not execute in place: another
// machine type, an entry point outside the code, a field that does not fit
// the TE header, a data directory other than base relocations and debug,
// missing or stripped relocations, relocations other than 32-bit ones or
// patching bytes outside the sections, a writable or zero-initialised
// section, a file layout that differs from the memory layout, or an image
// (or flash address) that does not fit below 4 GiB.
std::vector<std::uint8_t> ConvertToTe(std::span<const std::uint8_t> pe, const TeOptions &options = {});

}  // namespace boardimage
