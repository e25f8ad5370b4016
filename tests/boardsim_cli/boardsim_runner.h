// Runs the built boardsim program as a person would, capturing what it prints.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace boardsim::testing {

struct CommandRun {
  int status = -1;
  std::string output;  // stdout and stderr
};

inline CommandRun Boardsim(const std::string &arguments) {
  CommandRun run;
  const std::string command = std::string(BOARDSIM_PATH) + " " + arguments + " 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> chunk{};
  std::size_t got = 0;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) run.output.append(chunk.data(), got);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

inline bool Contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

}  // namespace boardsim::testing
