// What the coverage report needs from an lld-link map file: the preferred
// load address, where the code of section 1 ends, and the code symbols.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace boardcoverage {

struct CodeSymbol {
  std::uint32_t rva = 0;
  std::string name;  // readable: "PciBdf::ConfigAddress", "LanMacQuery"
};

struct LinkerMap {
  std::uint64_t imageBase = 0;
  std::uint32_t codeRva = 0;        // the first byte of code
  std::uint32_t codeSize = 0;       // bytes of the .text contributions
  std::vector<CodeSymbol> symbols;  // by RVA; symbols at one address joined ("A = B")
};

// Throws std::runtime_error naming the file and the line it cannot read.
LinkerMap ReadLinkerMap(const std::filesystem::path &path);

// "?LanMacQuery@@YA_KPEAE0@Z" -> "LanMacQuery"; "?ConfigAddress@PciBdf@@QEBAII@Z"
// -> "PciBdf::ConfigAddress"; "_BoardPeiEntry" -> "BoardPeiEntry".
std::string ReadableName(const std::string &decorated);

}  // namespace boardcoverage
