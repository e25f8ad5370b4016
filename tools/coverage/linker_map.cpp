#include "tools/coverage/linker_map.h"

#include <algorithm>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "tools/coverage/hex_field.h"
#include "tools/coverage/recorded_blocks.h"
#include "tools/files/input_file.h"

namespace boardcoverage {

std::string ReadableName(const std::string &decorated) {
  if (decorated.empty() || decorated[0] != '?') return decorated[0] == '_' ? decorated.substr(1) : decorated;
  // ?Name@Scope1@Scope2@@...: the scopes innermost first; ?A0x... is an
  // anonymous namespace.
  const std::size_t end = std::min(decorated.find("@@"), decorated.size());
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
  std::istringstream in(boardfiles::ReadInputText(path.string(), kCoverageInputLimit));
  static const std::regex base(R"(Preferred load address is ([0-9a-fA-F]+))");
  static const std::regex contribution(R"(^\s*0001:([0-9a-fA-F]+) ([0-9a-fA-F]+)H \.text\s+CODE)");
  static const std::regex symbol(R"(^\s*0001:([0-9a-fA-F]+)\s+(\S+)\s+([0-9a-fA-F]+)\s)");
  LinkerMap map;
  bool haveCode = false;
  std::vector<std::pair<std::uint32_t, std::uint64_t>> offsets;  // section offset, RVA+base
  std::vector<std::string> names;
  std::vector<std::string> places;  // "file:line" of each symbol
  std::string line;
  for (unsigned number = 1; std::getline(in, line); ++number) {
    const std::string where = path.string() + ":" + std::to_string(number);
    std::smatch match;
    if (std::regex_search(line, match, base)) {
      map.imageBase = ParseHexField(match.str(1), 16, where, "load address");
    } else if (std::regex_search(line, match, contribution)) {
      const std::uint64_t end =
          std::uint64_t{ParseHex32(match.str(1), where, "offset")} + ParseHex32(match.str(2), where, "size");
      if (end > UINT32_MAX) throw std::runtime_error(where + ": a .text contribution that ends past 4 GiB");
      map.codeSize = std::max(map.codeSize, static_cast<std::uint32_t>(end));
      haveCode = true;
    } else if (std::regex_search(line, match, symbol)) {
      offsets.emplace_back(ParseHex32(match.str(1), where, "offset"),
                           ParseHexField(match.str(3), 16, where, "address"));
      names.push_back(ReadableName(match[2]));
      places.push_back(where);
    }
  }
  if (map.imageBase == 0 || !haveCode || offsets.empty())
    throw std::runtime_error(path.string() + " has no load address, .text contribution or code symbol");
  // Every address must lie at or above the load address, and within 4 GiB of
  // it: RVAs are 32 bits.
  const auto rvaOf = [&](std::size_t i, std::uint64_t address) {
    if (address < map.imageBase || address - map.imageBase > UINT32_MAX)
      throw std::runtime_error(places[i] + ": the symbol's address is not within 4 GiB above the load address");
    return static_cast<std::uint32_t>(address - map.imageBase);
  };
  const std::uint32_t firstRva = rvaOf(0, offsets[0].second);
  if (firstRva < offsets[0].first) throw std::runtime_error(places[0] + ": the offset lies before the image");
  map.codeRva = firstRva - offsets[0].first;
  if (std::uint64_t{map.codeRva} + map.codeSize > UINT32_MAX)
    throw std::runtime_error(path.string() + ": the code ends past 4 GiB");
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    if (offsets[i].first >= map.codeSize) continue;  // constants placed after the code
    const auto rva = rvaOf(i, offsets[i].second);
    auto same = std::find_if(map.symbols.begin(), map.symbols.end(), [&](const CodeSymbol &s) { return s.rva == rva; });
    if (same != map.symbols.end())
      same->name += " = " + names[i];
    else
      map.symbols.push_back({rva, names[i]});
  }
  if (map.symbols.empty()) throw std::runtime_error(path.string() + " has no code symbol inside .text");
  std::sort(map.symbols.begin(), map.symbols.end(), [](const auto &a, const auto &b) { return a.rva < b.rva; });
  return map;
}

}  // namespace boardcoverage
