// Two boots side by side: what each one's report says, then its trace, with
// what differs only because of the engine (allocation sizes, instruction
// counts, the engine's name) taken out first.
#pragma once

#include <string>
#include <vector>

#include "sim/boot/boot_report.h"

namespace boardsim {

struct BootDiff {
  std::vector<std::string> outcome;  // "- line" / "+ line", report lines that differ
  std::vector<std::string> trace;    // "- line" / "+ line", trace lines that differ
  bool Same() const { return outcome.empty() && trace.empty(); }
};

// The report's lines that say what the firmware did, engine facts removed.
std::vector<std::string> OutcomeLines(const BootReport &report);
// The trace as printed, engine facts removed.
std::vector<std::string> NormalisedTrace(const BootReport &report);
// The lines only in `before` ("- ") and only in `after` ("+ "), in order
// (a longest-common-subsequence diff; at most `limit` lines, then one
// saying how many more).
std::vector<std::string> LineDiff(const std::vector<std::string> &before, const std::vector<std::string> &after,
                                  std::size_t limit = 200);

BootDiff DiffBoots(const BootReport &before, const BootReport &after);
std::string DiffText(const BootDiff &diff, const std::string &beforeName, const std::string &afterName);

}  // namespace boardsim
