// How a harness reports a broken invariant: say what and stop, so that the
// fuzzer keeps the input that did it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace boardsim::fuzz {

[[noreturn]] inline void Violated(const std::string &what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}

inline void ExpectNone(const std::vector<std::string> &violations) {
  if (violations.empty()) return;
  for (const auto &violation : violations) std::fprintf(stderr, "invariant broken: %s\n", violation.c_str());
  std::abort();
}

}  // namespace boardsim::fuzz
