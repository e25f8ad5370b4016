// The error every file the tools read or write reports: the path, and what
// is wrong with it in words a person can act on.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace boardfiles {

enum class FileProblem {
  kCannotOpen,      // missing, no permission, ...
  kDirectory,       // a folder where a file was expected
  kNotRegularFile,  // a device, FIFO or socket: it might never end
  kTooLarge,        // larger than the reader's limit
  kCannotRead,
  kCannotWrite,  // creating, writing, syncing or renaming the output
};

class FileError : public std::runtime_error {
 public:
  FileError(std::string path, FileProblem kind, std::string problem);
  const std::string &path() const { return path_; }
  FileProblem kind() const { return kind_; }
  const std::string &problem() const { return problem_; }  // the message without the path

 private:
  std::string path_;
  FileProblem kind_;
  std::string problem_;
};

// "256 MiB", "1 MiB", "64 KiB", "100 bytes": limits as people say them.
std::string FormatByteCount(std::uint64_t bytes);

}  // namespace boardfiles
