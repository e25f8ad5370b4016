#include "tools/process/program_output.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

extern char **environ;

namespace boardprocess {
namespace {

class Pipe {
 public:
  Pipe() {
    if (::pipe2(ends_, O_CLOEXEC) != 0)
      throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
  }
  Pipe(const Pipe &) = delete;
  Pipe &operator=(const Pipe &) = delete;
  ~Pipe() {
    CloseReader();
    CloseWriter();
  }
  int reader() const { return ends_[0]; }
  int writer() const { return ends_[1]; }
  void CloseReader() { Close(ends_[0]); }
  void CloseWriter() { Close(ends_[1]); }

 private:
  static void Close(int &fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  int ends_[2] = {-1, -1};
};

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  SpawnActions(const SpawnActions &) = delete;
  SpawnActions &operator=(const SpawnActions &) = delete;
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t *get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

int WaitFor(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

std::string ProgramOutput(const std::vector<std::string> &arguments, std::uint64_t limit,
                          std::chrono::milliseconds time) {
  if (arguments.empty() || arguments[0].empty()) throw std::runtime_error("no program to run");
  const std::string &program = arguments[0];
  Pipe output;
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), output.writer(), STDOUT_FILENO);
  std::vector<char *> argv;
  for (const auto &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (const int error = posix_spawnp(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ))
    throw std::runtime_error("cannot run " + program + ": " + std::strerror(error));
  output.CloseWriter();

  std::string text;
  char buffer[65536];
  bool tooMuch = false;
  bool tooLong = false;
  const auto deadline = std::chrono::steady_clock::now() + time;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd ready{output.reader(), POLLIN, 0};
    const int polled = left > 0 ? ::poll(&ready, 1, static_cast<int>(left)) : 0;
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) {
      tooLong = true;
      ::kill(child, SIGKILL);
      break;
    }
    const ssize_t got = ::read(output.reader(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (text.size() + static_cast<std::size_t>(got) > limit) {
      tooMuch = true;
      ::kill(child, SIGKILL);
      break;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
  output.CloseReader();
  const int status = WaitFor(child);
  if (tooLong)
    throw std::runtime_error(program + " ran longer than " + std::to_string(time.count()) + " ms and was stopped");
  if (tooMuch) throw std::runtime_error(program + " printed more than " + std::to_string(limit) + " bytes");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(program + " failed (" +
                             (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                                : "signal " + std::to_string(WTERMSIG(status))) +
                             ")");
  return text;
}

}  // namespace boardprocess
