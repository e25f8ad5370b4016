#include "tools/files/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace boardfiles {
namespace {

std::string Reason() { return std::strerror(errno); }

const char *KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a file";
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

FileError TooLarge(const std::string &path, std::uint64_t limit) {
  return FileError(path, FileProblem::kTooLarge,
                   "larger than " + FormatByteCount(limit) + ", the most this tool reads");
}

template <typename Bytes>
Bytes Read(const std::string &path, std::uint64_t limit) {
  // Opened without blocking, so that a FIFO with no writer cannot stall the
  // open; nothing is read before fstat says it is a regular file.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) throw FileError(path, FileProblem::kCannotOpen, "cannot open: " + Reason());
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) throw FileError(path, FileProblem::kCannotOpen, "cannot open: " + Reason());
  if (S_ISDIR(status.st_mode)) throw FileError(path, FileProblem::kDirectory, "is a directory, not a file");
  if (!S_ISREG(status.st_mode))
    throw FileError(path, FileProblem::kNotRegularFile,
                    std::string("not a regular file (") + KindOf(status.st_mode) + ")");
  if (static_cast<std::uint64_t>(status.st_size) > limit) throw TooLarge(path, limit);

  // The size is only a hint: the file may grow or shrink while it is read.
  Bytes bytes(static_cast<std::size_t>(status.st_size) + 1, 0);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (used > limit) throw TooLarge(path, limit);
      bytes.resize(std::min<std::uint64_t>(limit + 1, std::uint64_t{used} * 2 + 4096));
    }
    const ssize_t got = ::read(file.get(), bytes.data() + used, bytes.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw FileError(path, FileProblem::kCannotRead, "cannot read: " + Reason());
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  if (used > limit) throw TooLarge(path, limit);
  bytes.resize(used);
  return bytes;
}

}  // namespace

std::vector<std::uint8_t> ReadInputFile(const std::string &path, std::uint64_t limit) {
  return Read<std::vector<std::uint8_t>>(path, limit);
}

std::string ReadInputText(const std::string &path, std::uint64_t limit) { return Read<std::string>(path, limit); }

}  // namespace boardfiles
