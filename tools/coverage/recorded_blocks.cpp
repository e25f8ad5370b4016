#include "tools/coverage/recorded_blocks.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "tools/coverage/hex_field.h"
#include "tools/files/input_file.h"

namespace boardcoverage {

void ParseBlocks(const std::string &text, const std::string &origin, Blocks &blocks) {
  std::istringstream lines(text);
  std::string line;
  for (unsigned number = 1; std::getline(lines, line); ++number) {
    const std::string where = origin + ":" + std::to_string(number);
    std::istringstream fields(line);
    std::string scenario, image, rva, size, rest;
    if (!std::getline(fields, scenario, '\t') || !std::getline(fields, image, '\t') ||
        !std::getline(fields, rva, '\t') || !std::getline(fields, size, '\t') || std::getline(fields, rest))
      throw std::runtime_error(where + ": not scenario, image, RVA, size separated by tabs");
    blocks[image][scenario].emplace(ParseHex32(rva, where, "RVA"), ParseHex32(size, where, "size"));
  }
}

Blocks ReadBlocks(const std::filesystem::path &folder) {
  Blocks blocks;
  if (!std::filesystem::is_directory(folder)) throw std::runtime_error(folder.string() + " holds no recorded blocks");
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    // A hidden name is a recorder's temporary, left by a boot that was killed.
    if (entry.path().filename().string().starts_with(".")) continue;
    const std::string path = entry.path().string();
    ParseBlocks(boardfiles::ReadInputText(path, kCoverageInputLimit), path, blocks);
  }
  return blocks;
}

void MarkRan(std::vector<bool> &ran, std::uint32_t codeRva, std::uint32_t rva, std::uint32_t size) {
  const std::uint64_t codeEnd = std::uint64_t{codeRva} + ran.size();
  const std::uint64_t begin = std::max<std::uint64_t>(rva, codeRva);
  const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{rva} + size, codeEnd);
  for (std::uint64_t at = begin; at < end; ++at) ran[at - codeRva] = true;
}

}  // namespace boardcoverage
