// Slices and counts over the board's trace, shared by the BoardDxe scenario
// suites. Header only: this folder is not a test program of its own.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/base/trace.h"

namespace boardsim::testing {

// Register accesses and service calls recorded since a mark, as text: what
// the module did, without the board's own events and notifications.
inline std::vector<std::string> CallsAndAccessesSince(const Trace &trace, std::size_t mark) {
  std::vector<std::string> lines;
  const auto &entries = trace.Entries();
  for (std::size_t i = mark; i < entries.size(); ++i) {
    const TraceEntry &entry = entries[i];
    if (entry.kind == TraceEntry::Kind::Call || entry.kind == TraceEntry::Kind::Read ||
        entry.kind == TraceEntry::Kind::Write)
      lines.push_back(entry.ToString());
  }
  return lines;
}

// Only the register accesses recorded since a mark.
inline std::vector<std::string> AccessesSince(const Trace &trace, std::size_t mark) {
  std::vector<std::string> lines;
  const auto &entries = trace.Entries();
  for (std::size_t i = mark; i < entries.size(); ++i)
    if (entries[i].kind == TraceEntry::Kind::Read || entries[i].kind == TraceEntry::Kind::Write)
      lines.push_back(entries[i].ToString());
  return lines;
}

inline bool StartsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

// How many lines start with the prefix.
inline std::size_t CountStartingWith(const std::vector<std::string> &lines, std::string_view prefix) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [prefix](const std::string &line) { return StartsWith(line, prefix); }));
}

// The lines that start with the prefix, in order.
inline std::vector<std::string> StartingWith(const std::vector<std::string> &lines, std::string_view prefix) {
  std::vector<std::string> kept;
  for (const auto &line : lines)
    if (StartsWith(line, prefix)) kept.push_back(line);
  return kept;
}

}  // namespace boardsim::testing
