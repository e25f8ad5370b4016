// Reading a whole input file that may come from anywhere: a vendor's flash
// image, a file off a bug report, a path typed by mistake. Only a regular
// file is read, and never more than the caller's limit, so that a folder, a
// FIFO or /dev/zero is refused at once instead of blocking or reading forever.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/files/file_error.h"

namespace boardfiles {

// The most bytes a firmware image, volume, flash image or FFS file may have:
// the largest flash parts are 64 MiB, so anything past this is the wrong file.
inline constexpr std::uint64_t kImageFileLimit = std::uint64_t{256} << 20;

// The file's bytes. Throws FileError naming the path: cannot open (with the
// system's reason), is a directory, not a regular file, or larger than
// `limit` (said in MiB).
std::vector<std::uint8_t> ReadInputFile(const std::string &path, std::uint64_t limit = kImageFileLimit);
// The same, as text.
std::string ReadInputText(const std::string &path, std::uint64_t limit);

}  // namespace boardfiles
