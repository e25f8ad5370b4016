// boardsim runs the real images by default: the same report as the host-built
// modules, plus the instructions each call into an image executed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

struct CommandRun {
  int status = -1;
  std::string output;  // stdout and stderr
};

CommandRun Boardsim(const std::string &arguments) {
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

bool Contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The report without its engine name and instruction counts.
std::string Facts(std::string report) {
  report.replace(report.find("(engine: "), report.find(')', report.find("(engine: ")) - report.find("(engine: ") + 1,
                 "(engine)");
  const auto counts = report.find("\nInstructions executed:\n");
  if (counts != std::string::npos) report.erase(counts, report.find("\nProblems:") - counts);
  return report;
}

TEST(BoardsimEmulated, RealImagesAreTheDefaultAndReportTheSameFacts) {
  const CommandRun emulated = Boardsim("");
  const CommandRun native = Boardsim("--engine native");
  ASSERT_EQ(emulated.status, 0) << emulated.output;
  ASSERT_EQ(native.status, 0) << native.output;
  EXPECT_TRUE(Contains(emulated.output, "(engine: emulated)")) << emulated.output;
  EXPECT_EQ(Facts(emulated.output), Facts(native.output));
}

TEST(BoardsimEmulated, ReportCountsInstructionsOfEntriesHandlersAndMembers) {
  const CommandRun run = Boardsim("--engine emulated --images " BOARD_BUILD_DIR "/firmware");
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char *call :
       {"BoardPei entry: ", "BoardDxe entry: ", "event#2 notify function: ", "event#3 notify function: ",
        "event#1 notify function: ", "BOARD_HOOK_PPI BoardInfo: ", "BOARD_HOOK_PROTOCOL member 4: "}) {
    const auto at = run.output.find(std::string("\n  ") + call);
    ASSERT_NE(at, std::string::npos) << call << " missing:\n" << run.output;
    EXPECT_GT(std::stoul(run.output.substr(at + 3 + std::string(call).size())), 0u) << call;
  }
  EXPECT_FALSE(Contains(Boardsim("--engine native").output, "Instructions executed")) << "native counts nothing";
}

TEST(BoardsimEmulated, MissingImagesAreNamed) {
  const CommandRun run = Boardsim("--images /nonexistent/images");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.output, "/nonexistent/images/BoardDxe.efi does not exist")) << run.output;
}

}  // namespace
