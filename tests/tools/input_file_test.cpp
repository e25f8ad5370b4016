// Inputs that are no regular file, or too large, are refused at once and by
// name; nothing blocks on a FIFO or reads /dev/zero forever.
#include "tools/files/input_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;
using boardfiles::FileError;
using boardfiles::FileProblem;
using ::testing::HasSubstr;

struct InputCase {
  const char *what;
  std::string path;  // relative to the test's folder unless absolute
  std::uint64_t limit;
  std::optional<FileProblem> refused;  // empty: read
  const char *message;                 // after "PATH: "
};

TEST(InputFiles, OnlyRegularFilesWithinTheLimitAreRead) {
  const fs::path folder = fs::temp_directory_path() / ("tools_input_" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder / "a folder");
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  std::ofstream(folder / "exact") << std::string(1024, 'x');
  std::ofstream(folder / "one more") << std::string(1025, 'x');

  const InputCase cases[] = {
      {"a regular file at the limit", "exact", 1024, std::nullopt, ""},
      {"one byte over the limit", "one more", 1024, FileProblem::kTooLarge, "larger than 1 KiB"},
      {"a folder", "a folder", 1024, FileProblem::kDirectory, "is a directory"},
      {"a FIFO nobody writes", "fifo", 1024, FileProblem::kNotRegularFile, "not a regular file (a FIFO)"},
      {"an endless device", "/dev/zero", 1024, FileProblem::kNotRegularFile, "not a regular file (a character device)"},
      {"a missing file", "missing", 1024, FileProblem::kCannotOpen, "cannot open: No such file or directory"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = c.path.starts_with("/") ? c.path : (folder / c.path).string();
    const auto started = std::chrono::steady_clock::now();
    try {
      const auto bytes = boardfiles::ReadInputFile(path, c.limit);
      EXPECT_FALSE(c.refused) << "read " << bytes.size() << " bytes";
      EXPECT_EQ(bytes.size(), 1024u);
    } catch (const FileError &error) {
      ASSERT_TRUE(c.refused) << error.what();
      EXPECT_EQ(error.kind(), *c.refused);
      EXPECT_THAT(error.what(), HasSubstr(path + ": " + c.message));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  }
  fs::remove_all(folder);
}

}  // namespace
