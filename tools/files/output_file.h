// Writing outputs whole or not at all. Each output is written to a temporary
// of its own in the output's folder (a random name, created exclusively and
// never through a symlink), synced, and renamed over the output: a failure at
// any step removes the temporary, leaves the old output as it was and says
// why. No fixed temporary name is used, so no other file (an input named
// OUT.tmp, a symlink planted there) is ever overwritten or removed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tools/files/file_error.h"

namespace boardfiles {

struct OutputFile {
  std::string path;
  std::span<const std::uint8_t> bytes;
};

// Throws FileError naming the output and the system's reason
// ("File too large", "No space left on device", "Is a directory").
void WriteOutputFile(const std::string &path, std::span<const std::uint8_t> bytes);
void WriteOutputText(const std::string &path, std::string_view text);
// Files that belong together (a module's INF and its depex): all written, or
// on any failure none of them changed.
void WriteOutputFiles(std::span<const OutputFile> files);

}  // namespace boardfiles
