#include "tools/files/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace boardfiles {
namespace {

std::string Reason(int error) { return std::strerror(error); }

FileError WriteError(const std::string &path, const std::string &what, int error) {
  return FileError(path, FileProblem::kCannotWrite, what + ": " + Reason(error));
}

// "dir/.name.3fa9c01b2e7d": hidden beside the output, on the same file
// system so that the rename is atomic.
std::string TemporaryName(const std::string &target) {
  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  // Room for the suffix within a file name's 255 bytes.
  const std::string name = (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 200);
  static std::random_device random;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%06x%06x", random() & 0xFFFFFFu, random() & 0xFFFFFFu);
  return folder + "." + name + "." + suffix;
}

std::string FolderOf(const std::string &target) {
  const auto slash = target.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : target.substr(0, slash);
}

// One output's temporary: removed again unless it has been renamed into place.
class Temporary {
 public:
  explicit Temporary(const std::string &target) : target_(target) {
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
      path_ = TemporaryName(target);
      // O_EXCL: never an existing file; O_NOFOLLOW: never through a symlink.
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
      const int error = errno;
      path_.clear();
      throw WriteError(target, "cannot create a temporary file beside it", error);
    }
    // A replaced output keeps its permissions.
    struct stat old {};
    if (::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd_, old.st_mode & 07777);
  }
  Temporary(const Temporary &) = delete;
  Temporary &operator=(const Temporary &) = delete;
  Temporary(Temporary &&other) noexcept
      : target_(std::move(other.target_)), path_(std::move(other.path_)), fd_(other.fd_) {
    other.path_.clear();
    other.fd_ = -1;
  }
  ~Temporary() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  void WriteAll(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t wrote = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote < 0) throw WriteError(target_, "cannot write", errno);
      done += static_cast<std::size_t>(wrote);
    }
    if (::fsync(fd_) != 0) throw WriteError(target_, "cannot write", errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw WriteError(target_, "cannot write", errno);
  }

  const std::string &path() const { return path_; }
  const std::string &target() const { return target_; }
  // Its name now belongs to the output (or to the old output it replaced).
  void Forget() { path_.clear(); }

 private:
  std::string target_;
  std::string path_;
  int fd_ = -1;
};

// A file size limit (ulimit -f) would kill the tool mid-write with SIGXFSZ,
// leaving its temporary behind; ignored, the write fails with EFBIG ("File
// too large") and the temporary is removed like after any other failure.
class FileSizeSignalIgnored {
 public:
  FileSizeSignalIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, &previous_);
  }
  FileSizeSignalIgnored(const FileSizeSignalIgnored &) = delete;
  FileSizeSignalIgnored &operator=(const FileSizeSignalIgnored &) = delete;
  ~FileSizeSignalIgnored() { ::sigaction(SIGXFSZ, &previous_, nullptr); }

 private:
  struct sigaction previous_ {};
};

void RefuseFolderAsTarget(const std::string &target) {
  struct stat status {};
  if (::lstat(target.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
    throw FileError(target, FileProblem::kDirectory, "is a directory; give the path of the file to write");
}

bool Exists(const std::string &path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

void SyncFolder(const std::string &target) {
  const int fd = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: some file systems refuse it for folders
  ::close(fd);
}

}  // namespace

void WriteOutputFile(const std::string &path, std::span<const std::uint8_t> bytes) {
  const OutputFile file{path, bytes};
  WriteOutputFiles({&file, 1});
}

void WriteOutputText(const std::string &path, std::string_view text) {
  WriteOutputFile(path, {reinterpret_cast<const std::uint8_t *>(text.data()), text.size()});
}

void WriteOutputFiles(std::span<const OutputFile> files) {
  for (const auto &file : files) RefuseFolderAsTarget(file.path);
  const FileSizeSignalIgnored fileSizeSignal;
  std::vector<Temporary> temporaries;
  temporaries.reserve(files.size());
  for (const auto &file : files) {
    temporaries.emplace_back(file.path);
    temporaries.back().WriteAll(file.bytes);
  }

  // Every output but the last is swapped with its old file, so that the old
  // one can be put back if a later rename fails; the last is renamed.
  struct Placed {
    Temporary *temporary;
    bool swapped;  // the temporary's name now holds the old output
    bool existed;  // an old output was replaced without a copy to put back
  };
  std::vector<Placed> placed;
  const auto undo = [&placed] {
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
      if (it->swapped && ::renameat2(AT_FDCWD, it->temporary->path().c_str(), AT_FDCWD, it->temporary->target().c_str(),
                                     RENAME_EXCHANGE) == 0)
        ::unlink(it->temporary->path().c_str());
      else if (!it->swapped && !it->existed)
        ::unlink(it->temporary->target().c_str());
      it->temporary->Forget();
    }
  };
  for (std::size_t i = 0; i < temporaries.size(); ++i) {
    auto &temporary = temporaries[i];
    const bool last = i + 1 == temporaries.size();
    const bool existed = Exists(temporary.target());
    if (!last && existed &&
        ::renameat2(AT_FDCWD, temporary.path().c_str(), AT_FDCWD, temporary.target().c_str(), RENAME_EXCHANGE) == 0) {
      placed.push_back({&temporary, true, true});
      continue;
    }
    if (::rename(temporary.path().c_str(), temporary.target().c_str()) != 0) {
      const int error = errno;
      undo();
      throw WriteError(temporary.target(), "cannot replace", error);
    }
    temporary.Forget();
    if (!last) placed.push_back({&temporary, false, existed});
  }
  // The old outputs that were swapped out go; the rest is in place.
  for (const auto &entry : placed)
    if (entry.swapped) ::unlink(entry.temporary->path().c_str());
  for (const auto &entry : placed) entry.temporary->Forget();
  for (const auto &temporary : temporaries) SyncFolder(temporary.target());
}

}  // namespace boardfiles
