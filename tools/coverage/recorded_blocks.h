// The blocks of image code that emulated boots ran, as the emulated engine
// records them in $BOARDSIM_COVERAGE_DIR: "SCENARIO\tIMAGE\tRVA\tSIZE" lines,
// the numbers in hexadecimal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace boardcoverage {

// Blocks run, by image, then by scenario: [rva, rva + size).
using Blocks = std::map<std::string, std::map<std::string, std::set<std::pair<std::uint32_t, std::uint32_t>>>>;

// The most bytes one coverage input (a block file, a map, the exceptions) may
// have: the suite records a few hundred KiB.
inline constexpr std::uint64_t kCoverageInputLimit = std::uint64_t{64} << 20;

// Adds the lines of one block file; throws std::runtime_error naming
// `origin`, the line and the field that is wrong.
void ParseBlocks(const std::string &text, const std::string &origin, Blocks &blocks);
// Every file in `folder`.
Blocks ReadBlocks(const std::filesystem::path &folder);

// Marks the code bytes of one block in `ran` (one flag per byte of code from
// `codeRva`); the part of the block outside the code is ignored, so that a
// damaged size costs no more than the code's length.
void MarkRan(std::vector<bool> &ran, std::uint32_t codeRva, std::uint32_t rva, std::uint32_t size);

}  // namespace boardcoverage
