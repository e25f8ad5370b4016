#include "sim/boot/boot_diff.h"

#include <regex>
#include <sstream>
#include <stdexcept>

#include "sim/base/board_text.h"

namespace boardsim {
namespace {

// Each side of a diff holds at most this many lines (the LCS table is the
// product of the two).
constexpr std::size_t kMostLines = 4000;

// A pool allocation's size follows the engine's pointer size (the hook PPI
// descriptor holds pointers: 12 bytes on IA-32, 24 on the host). An access
// to unmapped memory is named in each engine's own terms of its memory
// ("0x00005400", or the emulator's region there): the access itself is kept.
std::string WithoutEngineFacts(const std::string &line) {
  static const std::regex kPoolSize(R"(AllocatePool\(\d+ bytes\))");
  static const std::regex kUnmapped(R"((bytes at 0x[0-9A-Fa-f]+): .* is not mapped)");
  std::string text = std::regex_replace(line, kPoolSize, "AllocatePool(N bytes)");
  if (text.find(" is not mapped") == std::string::npos) return text;  // most lines: no second pass
  return std::regex_replace(text, kUnmapped, "$1: not mapped");
}

}  // namespace

std::vector<std::string> OutcomeLines(const BootReport &report) {
  std::vector<std::string> lines;
  std::istringstream text(ReportText(report, false));
  bool first = true;
  bool instructions = false;
  for (std::string line; std::getline(text, line);) {
    if (first) {  // "Board NAME: description (engine: ...)": which boot, not what it did
      first = false;
      continue;
    }
    if (line == "Instructions executed:") instructions = true;
    if (instructions) {
      if (line.empty()) instructions = false;
      continue;
    }
    if (!line.empty()) lines.push_back(WithoutEngineFacts(line));
  }
  return lines;
}

std::vector<std::string> NormalisedTrace(const BootReport &report) {
  std::vector<std::string> lines;
  for (const std::string &line : report.trace) lines.push_back(WithoutEngineFacts(Printable(line)));
  return lines;
}

std::vector<std::string> LineDiff(const std::vector<std::string> &before, const std::vector<std::string> &after,
                                  std::size_t limit) {
  if (before.size() > kMostLines || after.size() > kMostLines)
    throw std::runtime_error("diff: a side has more than " + std::to_string(kMostLines) + " lines");
  const std::size_t n = before.size();
  const std::size_t m = after.size();
  // common[i][j]: length of the longest common subsequence of before[i..] and after[j..].
  std::vector<std::vector<unsigned>> common(n + 1, std::vector<unsigned>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;)
    for (std::size_t j = m; j-- > 0;)
      common[i][j] = before[i] == after[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
  std::vector<std::string> out;
  std::size_t more = 0;
  const auto add = [&](std::string line) {
    if (out.size() < limit)
      out.push_back(std::move(line));
    else
      ++more;
  };
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && before[i] == after[j]) {
      ++i;
      ++j;
    } else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) {
      add("- " + before[i++]);
    } else {
      add("+ " + after[j++]);
    }
  }
  if (more != 0) out.push_back("... " + std::to_string(more) + " more differing lines");
  return out;
}

BootDiff DiffBoots(const BootReport &before, const BootReport &after) {
  return {LineDiff(OutcomeLines(before), OutcomeLines(after)),
          LineDiff(NormalisedTrace(before), NormalisedTrace(after))};
}

std::string DiffText(const BootDiff &diff, const std::string &beforeName, const std::string &afterName) {
  std::ostringstream out;
  out << "--- " << Printable(beforeName) << "\n+++ " << Printable(afterName) << "\n";
  if (diff.Same()) {
    out << "\nThe boots do not differ.\n";
    return out.str();
  }
  out << "\nOutcome differences:" << (diff.outcome.empty() ? " none" : "") << "\n";
  for (const auto &line : diff.outcome) out << "  " << line << "\n";
  out << "\nTrace differences:" << (diff.trace.empty() ? " none" : "") << "\n";
  for (const auto &line : diff.trace) out << "  " << line << "\n";
  return out.str();
}

}  // namespace boardsim
