// Outputs are written whole or not at all, through temporaries of their own:
// no other file is overwritten, followed or removed, and a failure says why.
#include "tools/files/output_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// What a folder holds: file name -> contents, "<folder>" or "-> TARGET".
using Listing = std::map<std::string, std::string>;

Listing List(const fs::path &folder) {
  Listing listing;
  for (const auto &entry : fs::directory_iterator(folder)) {
    const auto name = entry.path().filename().string();
    if (entry.is_symlink())
      listing[name] = "-> " + fs::read_symlink(entry.path()).string();
    else if (entry.is_directory())
      listing[name] = "<folder>";
    else
      listing[name] = (std::ostringstream() << std::ifstream(entry.path()).rdbuf()).str();
  }
  return listing;
}

// Runs the write in a child process, which may have a file size limit
// (RLIMIT_FSIZE, as a full disk or quota would stop it); returns the error
// message, empty on success.
std::string WriteInChild(const fs::path &folder, const std::vector<std::pair<std::string, std::string>> &outputs,
                         rlim_t fileSizeLimit) {
  int pipe[2];
  if (::pipe(pipe) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    if (fileSizeLimit != 0) {  // as `ulimit -f` sets it: SIGXFSZ not ignored
      const rlimit limit{fileSizeLimit, fileSizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::string message;
    try {
      std::vector<std::string> paths;
      std::vector<boardfiles::OutputFile> files;
      for (const auto &[name, text] : outputs) paths.push_back((folder / name).string());
      for (std::size_t i = 0; i < outputs.size(); ++i)
        files.push_back(
            {paths[i], {reinterpret_cast<const std::uint8_t *>(outputs[i].second.data()), outputs[i].second.size()}});
      boardfiles::WriteOutputFiles(files);
    } catch (const boardfiles::FileError &error) {
      message = error.what();
    }
    if (::write(pipe[1], message.data(), message.size()) < 0) _exit(2);
    _exit(0);
  }
  ::close(pipe[1]);
  std::string message;
  char buffer[512];
  for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;) message.append(buffer, std::size_t(got));
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? message : "the child failed";
}

struct OutputCase {
  const char *what;
  std::function<void(const fs::path &)> before;
  std::vector<std::pair<std::string, std::string>> outputs;
  rlim_t fileSizeLimit;
  const char *refusal;  // empty: written
  Listing after;
};

TEST(OutputFiles, AreWrittenWholeOrNotAtAllAndNeverThroughAnotherName) {
  const fs::path folder = fs::temp_directory_path() / ("tools_output_" + std::to_string(getpid()));
  const auto put = [](const fs::path &path, const std::string &text) { std::ofstream(path) << text; };
  const std::string big(4096, 'b');
  const OutputCase cases[] = {
      {"an unrelated OUT.tmp, or the input of `insert fw.fd.tmp fw.fd`, is left alone",
       [&](const fs::path &f) { put(f / "fw.fd.tmp", "input"), put(f / "fw.fd", "old"); },
       {{"fw.fd", "new"}},
       0,
       "",
       {{"fw.fd.tmp", "input"}, {"fw.fd", "new"}}},
      {"a symlink at the output is replaced, not followed",
       [&](const fs::path &f) { put(f / "victim", "keep"), fs::create_symlink(f / "victim", f / "out"); },
       {{"out", "new"}},
       0,
       "",
       {{"victim", "keep"}, {"out", "new"}}},
      {"a folder at the output is refused",
       [&](const fs::path &f) { fs::create_directory(f / "out"); },
       {{"out", "new"}},
       0,
       "/out: is a directory",
       {{"out", "<folder>"}}},
      {"a write that fails keeps the old output, leaves no temporary and says why",
       [&](const fs::path &f) { put(f / "out", "old"); },
       {{"out", big}},
       1024,
       "/out: cannot write: File too large",
       {{"out", "old"}}},
      {"a pair is replaced together",
       [&](const fs::path &f) { put(f / "m.inf", "old inf"), put(f / "m.depex", "old depex"); },
       {{"m.inf", "new inf"}, {"m.depex", "new depex"}},
       0,
       "",
       {{"m.inf", "new inf"}, {"m.depex", "new depex"}}},
      {"a pair whose second file cannot be written keeps both old files",
       [&](const fs::path &f) { put(f / "m.inf", "old inf"), put(f / "m.depex", "old depex"); },
       {{"m.inf", "new inf"}, {"m.depex", big}},
       1024,
       "/m.depex: cannot write: File too large",
       {{"m.inf", "old inf"}, {"m.depex", "old depex"}}},
      {"a pair whose second output is a folder writes neither",
       [&](const fs::path &f) { put(f / "m.inf", "old inf"), fs::create_directory(f / "m.depex"); },
       {{"m.inf", "new inf"}, {"m.depex", "new depex"}},
       0,
       "/m.depex: is a directory",
       {{"m.inf", "old inf"}, {"m.depex", "<folder>"}}},
      {"a pair that is new is written together",
       [](const fs::path &) {},
       {{"m.inf", "new inf"}, {"m.depex", "new depex"}},
       0,
       "",
       {{"m.inf", "new inf"}, {"m.depex", "new depex"}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder);
    fs::create_directories(folder);
    c.before(folder);
    const std::string message = WriteInChild(folder, c.outputs, c.fileSizeLimit);
    if (*c.refusal == '\0')
      EXPECT_EQ(message, "");
    else
      EXPECT_THAT(message, HasSubstr(folder.string() + c.refusal));
    EXPECT_EQ(List(folder), c.after);  // also: no temporary left behind
  }
  fs::remove_all(folder);
}

}  // namespace
