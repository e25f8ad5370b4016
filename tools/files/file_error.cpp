#include "tools/files/file_error.h"

#include <utility>

namespace boardfiles {

FileError::FileError(std::string path, FileProblem kind, std::string problem)
    : std::runtime_error(path + ": " + problem), path_(std::move(path)), kind_(kind), problem_(std::move(problem)) {}

std::string FormatByteCount(std::uint64_t bytes) {
  constexpr std::uint64_t kKiB = 1024;
  if (bytes != 0 && bytes % (kKiB * kKiB) == 0) return std::to_string(bytes / (kKiB * kKiB)) + " MiB";
  if (bytes != 0 && bytes % kKiB == 0) return std::to_string(bytes / kKiB) + " KiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace boardfiles
