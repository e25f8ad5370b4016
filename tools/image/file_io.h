// Whole-file reads and writes for the image tools.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace boardimage {

// Throws std::runtime_error naming the file and the reason.
std::vector<std::uint8_t> ReadFile(const std::string &path);
// Writes a temporary file beside `path` and renames it into place, so that a
// failed write never leaves a half-written image for the next build step.
void WriteFileReplacing(const std::string &path, std::span<const std::uint8_t> bytes);

}  // namespace boardimage
