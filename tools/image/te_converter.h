// Converts a linked PE32 (or PE32+) image into a Terse Executable (TE) image
// that executes in place from flash: the DOS, PE and optional headers are
// replaced by the 40-byte TE header, and everything from the section table on
// is kept byte for byte, so sections stay where the linker put them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace boardimage {

// The image cannot become an execute-in-place TE image; the message says why.
class TeConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TeOptions {
  // Where the TE header will sit in flash. When given, the image must be
  // linked for it: ImageBase + StrippedSize - 40 must equal it.
  std::optional<std::uint64_t> flashAddress;
};

// Throws ImageFormatError for a malformed input and TeConversionError for a
// well-formed one that cannot be converted: a field that does not fit the TE
// header, a data directory other than base relocations and debug, stripped
// relocations, a writable or zero-initialised section, or a file layout that
// differs from the memory layout.
std::vector<std::uint8_t> ConvertToTe(std::span<const std::uint8_t> pe, const TeOptions &options = {});

}  // namespace boardimage
