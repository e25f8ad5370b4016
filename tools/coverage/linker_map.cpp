#include "tools/coverage/linker_map.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <stdexcept>

namespace boardcoverage {

std::string ReadableName(const std::string &decorated) {
  if (decorated.empty() || decorated[0] != '?') return decorated[0] == '_' ? decorated.substr(1) : decorated;
  // ?Name@Scope1@Scope2@@...: the scopes innermost first; ?A0x... is an
  // anonymous namespace.
  const std::size_t end = decorated.find("@@");
  std::vector<std::string> parts;
  std::size_t begin = 1;
  while (begin < end) {
    const std::size_t at = std::min(decorated.find('@', begin), end);
    const std::string part = decorated.substr(begin, at - begin);
    if (part.rfind("?A0x", 0) != 0) parts.push_back(part);
    begin = at + 1;
  }
  std::string name;
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) name += (name.empty() ? "" : "::") + *part;
  return name.empty() ? decorated : name;
}

LinkerMap ReadLinkerMap(const std::filesystem::path &path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read the linker map " + path.string());
  static const std::regex base(R"(Preferred load address is ([0-9a-fA-F]+))");
  static const std::regex contribution(R"(^\s*0001:([0-9a-fA-F]+) ([0-9a-fA-F]+)H \.text\s+CODE)");
  static const std::regex symbol(R"(^\s*0001:([0-9a-fA-F]+)\s+(\S+)\s+([0-9a-fA-F]+)\s)");
  LinkerMap map;
  bool haveCode = false;
  std::vector<std::pair<std::uint32_t, std::uint64_t>> offsets;  // section offset, RVA+base
  std::vector<std::string> names;
  std::string line;
  for (unsigned number = 1; std::getline(in, line); ++number) {
    std::smatch match;
    if (std::regex_search(line, match, base)) {
      map.imageBase = std::stoull(match[1], nullptr, 16);
    } else if (std::regex_search(line, match, contribution)) {
      const auto end = std::stoul(match[1], nullptr, 16) + std::stoul(match[2], nullptr, 16);
      map.codeSize = std::max(map.codeSize, static_cast<std::uint32_t>(end));
      haveCode = true;
    } else if (std::regex_search(line, match, symbol)) {
      offsets.emplace_back(static_cast<std::uint32_t>(std::stoul(match[1], nullptr, 16)),
                           std::stoull(match[3], nullptr, 16));
      names.push_back(ReadableName(match[2]));
    }
  }
  if (map.imageBase == 0 || !haveCode || offsets.empty())
    throw std::runtime_error(path.string() + " has no load address, .text contribution or code symbol");
  map.codeRva = static_cast<std::uint32_t>(offsets[0].second - map.imageBase - offsets[0].first);
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    if (offsets[i].first >= map.codeSize) continue;  // constants placed after the code
    const auto rva = static_cast<std::uint32_t>(offsets[i].second - map.imageBase);
    auto same = std::find_if(map.symbols.begin(), map.symbols.end(), [&](const CodeSymbol &s) { return s.rva == rva; });
    if (same != map.symbols.end())
      same->name += " = " + names[i];
    else
      map.symbols.push_back({rva, names[i]});
  }
  std::sort(map.symbols.begin(), map.symbols.end(), [](const auto &a, const auto &b) { return a.rva < b.rva; });
  return map;
}

}  // namespace boardcoverage
