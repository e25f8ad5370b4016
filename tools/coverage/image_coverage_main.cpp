// image_coverage: the report behind `make coverage`. Reads the blocks of image
// code that emulated boots ran (the files $BOARDSIM_COVERAGE_DIR collected),
// the linker maps and the images' disassembly, and writes, per image and per
// function, the instructions executed out of those present, every range never
// executed with its disassembly, and which scenarios reach which functions.
// Exits with status 1 if a range never executed is not listed, with its
// reason, in the exceptions file, or if a listed range no longer exists.
//
//   image_coverage --firmware DIR --blocks DIR --exceptions FILE --out FILE --objdump PROGRAM
//                  [--baseline DIR [--baseline-exceptions FILE]]
//
// An exception line: "IMAGE | FUNCTION | MNEMONICS | REASON", the mnemonics
// of the range's instructions joined by "; " (addresses change with every
// link; the instructions of a range do not).
//
// With --baseline (`make fuzz-coverage`: the blocks the emulated tests ran,
// while --blocks holds the fuzzing corpus's), the report also lists every
// range of instructions the baseline executes and --blocks does not, and the
// status is 1 if one is not listed with its reason in --baseline-exceptions
// (same lines as the exceptions file) or if a range listed there is reached:
// the exceptions file then only gives reasons.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/coverage/hex_field.h"
#include "tools/coverage/linker_map.h"
#include "tools/coverage/recorded_blocks.h"
#include "tools/files/input_file.h"
#include "tools/files/output_file.h"
#include "tools/process/program_output.h"

namespace {

using namespace boardcoverage;
using boardprocess::ProgramOutput;
namespace fs = std::filesystem;

struct Instruction {
  std::uint32_t rva = 0;
  std::string text;  // "movq %rcx, 8189(%rip)"
  std::string Mnemonic() const { return text.substr(0, text.find(' ')); }
};

struct Image {
  std::string name;  // as the emulated engine names it
  fs::path file;     // a PE file llvm-objdump reads (the TE image's PE32 for BoardPei)
  fs::path map;
};

struct Range {
  std::string image;
  std::string function;
  std::vector<Instruction> instructions;
  std::string Key() const {
    std::string mnemonics;
    for (const auto &instruction : instructions) mnemonics += (mnemonics.empty() ? "" : "; ") + instruction.Mnemonic();
    return image + " | " + function + " | " + mnemonics;
  }
};

std::string Trim(const std::string &text) {
  const auto begin = text.find_first_not_of(" \t");
  const auto end = text.find_last_not_of(" \t");
  return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// The disassembly of a driver is a few MiB.
constexpr std::uint64_t kDisassemblyLimit = std::uint64_t{256} << 20;

std::vector<Instruction> Disassemble(const std::string &objdump, const Image &image, const LinkerMap &map) {
  std::istringstream output(
      ProgramOutput({objdump, "-d", "--no-show-raw-insn", image.file.string()}, kDisassemblyLimit));
  const std::string origin = objdump + " -d " + image.file.string();
  static const std::regex line(R"(^\s*([0-9a-f]+):\s+(.+)$)");
  std::vector<Instruction> instructions;
  std::string text;
  for (unsigned number = 1; std::getline(output, text); ++number) {
    std::smatch match;
    if (!std::regex_match(text, match, line)) continue;
    const std::uint64_t address =
        ParseHexField(match.str(1), 16, origin + ", line " + std::to_string(number), "address");
    if (address < map.imageBase || address - map.imageBase < map.codeRva ||
        address - map.imageBase - map.codeRva >= map.codeSize)
      continue;
    const auto rva = static_cast<std::uint32_t>(address - map.imageBase);
    std::string instruction = Trim(match[2]);
    for (auto &c : instruction)
      if (c == '\t') c = ' ';
    instructions.push_back({rva, instruction});
  }
  if (instructions.empty()) throw std::runtime_error(origin + " shows no code of " + image.name);
  return instructions;
}

std::map<std::string, std::string> ReadExceptions(const fs::path &path) {
  std::map<std::string, std::string> reasons;
  std::istringstream in(boardfiles::ReadInputText(path.string(), kCoverageInputLimit));
  std::string line;
  for (unsigned number = 1; std::getline(in, line); ++number) {
    if (Trim(line).empty() || Trim(line)[0] == '#') continue;
    const auto last = line.rfind(" | ");
    if (last == std::string::npos || std::count(line.begin(), line.end(), '|') < 3)
      throw std::runtime_error(path.string() + ":" + std::to_string(number) +
                               ": not IMAGE | FUNCTION | MNEMONICS | REASON");
    reasons[Trim(line.substr(0, last))] = Trim(line.substr(last + 3));
  }
  return reasons;
}

std::size_t FunctionOf(const LinkerMap &map, std::uint32_t rva) {
  std::size_t found = 0;
  for (std::size_t i = 0; i < map.symbols.size(); ++i)
    if (map.symbols[i].rva <= rva) found = i;
  return found;
}

// Which code bytes of an image the blocks ran (one flag per byte from
// map.codeRva); `reached` (if given) gets the functions each scenario reached.
std::vector<bool> RanBytes(const Blocks &blocks, const Image &image, const LinkerMap &map,
                           std::map<std::string, std::set<std::size_t>> *reached) {
  std::vector<bool> ran(map.codeSize, false);
  if (auto found = blocks.find(image.name); found != blocks.end())
    for (const auto &[scenario, runs] : found->second)
      for (const auto &[rva, size] : runs) {
        MarkRan(ran, map.codeRva, rva, size);
        if (reached != nullptr) (*reached)[scenario].insert(FunctionOf(map, rva));
      }
  return ran;
}

// The runs of consecutive instructions of one function that `selected` picks.
template <typename Selected>
std::vector<Range> RangesWhere(const Image &image, const LinkerMap &map, const std::vector<Instruction> &instructions,
                               Selected selected) {
  std::vector<Range> ranges;
  bool previousSelected = false;
  std::size_t previousFunction = 0;
  for (const auto &instruction : instructions) {
    const std::size_t function = FunctionOf(map, instruction.rva);
    const bool picked = selected(instruction);
    if (picked && (!previousSelected || previousFunction != function))
      ranges.push_back({image.name, map.symbols[function].name, {}});
    if (picked) ranges.back().instructions.push_back(instruction);
    previousSelected = picked;
    previousFunction = function;
  }
  return ranges;
}

// Says which listed ranges the report never met (now executed, or gone);
// true if there is one.
bool ListsUnmet(const std::map<std::string, std::string> &listed, const std::set<std::string> &met,
                const std::string &file) {
  bool unmet = false;
  for (const auto &[key, reason] : listed)
    if (!met.count(key)) {
      std::fprintf(stderr, "image_coverage: %s lists a range that is now executed or gone:\n  %s\n", file.c_str(),
                   key.c_str());
      unmet = true;
    }
  return unmet;
}

void ReportRange(std::ostringstream &report, const Range &range, const std::string &note) {
  report << "- " << range.function << " at " << Hex(range.instructions.front().rva) << ", " << range.instructions.size()
         << " instructions: " << note << "\n\n```\n";
  for (const auto &instruction : range.instructions) report << Hex(instruction.rva) << ": " << instruction.text << "\n";
  report << "```\n\n";
}

}  // namespace

int main(int argc, char **argv) {
  try {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
    for (const char *needed : {"--firmware", "--blocks", "--exceptions", "--out", "--objdump"})
      if (!options.count(needed))
        throw std::invalid_argument(
            std::string("missing ") + needed +
            " (--firmware DIR --blocks DIR --exceptions FILE --out FILE --objdump PROGRAM [--baseline DIR])");
    const bool compared = options.count("--baseline") != 0;
    const fs::path firmware = options["--firmware"];
    const std::vector<Image> images = {
        {"BoardDxe", firmware / "BoardDxe.efi", firmware / "x64" / "BoardDxe.map"},
        {"BoardPei", firmware / "ia32" / "BoardPei.pe32", firmware / "ia32" / "BoardPei.map"},
    };
    const Blocks blocks = ReadBlocks(options["--blocks"]);
    const Blocks baseline = compared ? ReadBlocks(options["--baseline"]) : Blocks{};
    const auto exceptions = ReadExceptions(options["--exceptions"]);
    const auto baselineExceptions = options.count("--baseline-exceptions")
                                        ? ReadExceptions(options["--baseline-exceptions"])
                                        : std::map<std::string, std::string>{};
    std::set<std::string> baselineExceptionsUsed;
    std::set<std::string> exceptionsUsed;
    std::vector<std::string> unexplained;
    std::vector<std::string> missed;  // ranges the baseline executes and the blocks do not

    std::ostringstream report;
    report << "# Coverage of the shipped images' code\n\n";
    std::ostringstream scenarios;
    for (const auto &image : images) {
      const LinkerMap map = ReadLinkerMap(image.map);
      // The code lies in the image file: a map that says more is not this image's.
      const auto imageBytes = boardfiles::ReadInputFile(image.file.string()).size();
      if (map.codeSize > imageBytes)
        throw std::runtime_error(image.map.string() + ": .text of " + std::to_string(map.codeSize) +
                                 " bytes does not fit in " + image.file.string() + " (" + std::to_string(imageBytes) +
                                 " bytes)");
      const auto instructions = Disassemble(options["--objdump"], image, map);
      // Which code bytes any scenario ran, and which functions each reached.
      std::map<std::string, std::set<std::size_t>> reached;
      const std::vector<bool> ran = RanBytes(blocks, image, map, &reached);
      const auto wasRun = [&](const Instruction &instruction) { return ran[instruction.rva - map.codeRva]; };

      std::vector<unsigned> present(map.symbols.size(), 0);
      std::vector<unsigned> executed(map.symbols.size(), 0);
      for (const auto &instruction : instructions) {
        const std::size_t function = FunctionOf(map, instruction.rva);
        ++present[function];
        if (wasRun(instruction)) ++executed[function];
      }
      const std::vector<Range> never =
          RangesWhere(image, map, instructions, [&](const Instruction &instruction) { return !wasRun(instruction); });
      unsigned allPresent = 0;
      unsigned allExecuted = 0;
      for (std::size_t i = 0; i < present.size(); ++i) allPresent += present[i], allExecuted += executed[i];
      // A range never executed has its reason in the exceptions, or (with a
      // baseline) in the baseline's exceptions, as the range the corpus
      // cannot reach.
      const auto reasonNever = [&](const Range &range) -> const std::string * {
        if (const auto reason = exceptions.find(range.Key()); reason != exceptions.end()) return &reason->second;
        if (const auto reason = baselineExceptions.find(range.Key()); reason != baselineExceptions.end())
          return &reason->second;
        return nullptr;
      };
      unsigned explained = 0;
      for (const auto &range : never)
        if (reasonNever(range) != nullptr) explained += static_cast<unsigned>(range.instructions.size());
      report << "## " << image.name << ": " << allExecuted << " of " << allPresent << " instructions executed; "
             << explained << " more never can be (reasons below)";
      if (allExecuted + explained < allPresent)
        report << "; **" << allPresent - allExecuted - explained << " never executed without a reason**";
      std::vector<Range> notHere;
      if (compared) {
        const std::vector<bool> baselineRan = RanBytes(baseline, image, map, nullptr);
        unsigned baselineExecuted = 0;
        for (const auto &instruction : instructions) baselineExecuted += baselineRan[instruction.rva - map.codeRva];
        notHere = RangesWhere(image, map, instructions, [&](const Instruction &instruction) {
          return baselineRan[instruction.rva - map.codeRva] && !wasRun(instruction);
        });
        unsigned notHereCount = 0;
        for (const auto &range : notHere) notHereCount += static_cast<unsigned>(range.instructions.size());
        report << "; the baseline executes " << baselineExecuted;
        if (notHereCount != 0) report << ", " << notHereCount << " of them not here (below)";
      }
      report << "\n\n| function | RVA | executed | present |\n|---|---|---|---|\n";
      for (std::size_t i = 0; i < map.symbols.size(); ++i)
        report << "| " << map.symbols[i].name << " | " << Hex(map.symbols[i].rva) << " | " << executed[i] << " | "
               << present[i] << " |\n";
      if (compared) {
        report << "\n### Executed by the baseline, not here\n\n";
        if (notHere.empty()) report << "Nothing: every instruction the baseline executes ran here too.\n\n";
        for (const auto &range : notHere) {
          const auto reason = baselineExceptions.find(range.Key());
          if (reason != baselineExceptions.end())
            baselineExceptionsUsed.insert(range.Key());
          else
            missed.push_back(range.Key());
          ReportRange(report, range, reason != baselineExceptions.end() ? reason->second : "**no reason listed**");
        }
      }
      report << "\n### Never executed\n\n";
      if (never.empty()) report << "Nothing: every instruction ran in at least one scenario.\n\n";
      for (const auto &range : never) {
        if (exceptions.count(range.Key()) != 0)
          exceptionsUsed.insert(range.Key());
        else
          unexplained.push_back(range.Key());
        const std::string *reason = reasonNever(range);
        ReportRange(report, range, reason != nullptr ? *reason : "**no reason listed**");
      }

      scenarios << "## " << image.name << "\n\nFunctions: ";
      for (std::size_t i = 0; i < map.symbols.size(); ++i)
        scenarios << (i ? ", " : "") << "F" << i << " " << map.symbols[i].name;
      scenarios << "\n\n| scenario |";
      for (std::size_t i = 0; i < map.symbols.size(); ++i) scenarios << " F" << i << " |";
      scenarios << "\n|---|";
      for (std::size_t i = 0; i < map.symbols.size(); ++i) scenarios << "---|";
      scenarios << "\n";
      for (const auto &[scenario, functions] : reached) {
        scenarios << "| " << scenario << " |";
        for (std::size_t i = 0; i < map.symbols.size(); ++i) scenarios << (functions.count(i) ? " x |" : "   |");
        scenarios << "\n";
      }
      scenarios << "\n";
    }
    report << "# Which scenarios reach which functions\n\n" << scenarios.str();

    boardfiles::WriteOutputText(options["--out"], report.str());
    int status = 0;
    if (compared) {
      for (const auto &key : missed) {
        std::fprintf(stderr, "image_coverage: executed by %s and not by %s:\n  %s | REASON\n",
                     options["--baseline"].c_str(), options["--blocks"].c_str(), key.c_str());
        status = 1;
      }
      if (ListsUnmet(baselineExceptions, baselineExceptionsUsed, options["--baseline-exceptions"])) status = 1;
    } else {
      for (const auto &key : unexplained) {
        std::fprintf(stderr, "image_coverage: never executed and not listed in %s:\n  %s | REASON\n",
                     options["--exceptions"].c_str(), key.c_str());
        status = 1;
      }
      if (ListsUnmet(exceptions, exceptionsUsed, options["--exceptions"])) status = 1;
    }
    std::printf("image coverage report: %s%s\n", options["--out"].c_str(),
                status == 0 ? ""
                : compared  ? " (the baseline executes code not executed here without a listed reason, see above)"
                            : " (ranges never executed need a reason, see above)");
    return status;
  } catch (const std::exception &error) {
    std::fprintf(stderr, "image_coverage: %s\n", error.what());
    return 2;
  }
}
