// What a program prints, run without a shell: its arguments are passed as
// they are, so a path with a quote or a semicolon in it is just a path.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace boardprocess {

// Runs `arguments[0]` (found on PATH when it has no slash) with standard
// input from /dev/null and returns its standard output. Throws
// std::runtime_error if it cannot start, prints more than `limit` bytes, or
// does not exit with status 0, or runs longer than `time` (then it is killed).
std::string ProgramOutput(const std::vector<std::string> &arguments, std::uint64_t limit,
                          std::chrono::milliseconds time = std::chrono::minutes(5));

}  // namespace boardprocess
