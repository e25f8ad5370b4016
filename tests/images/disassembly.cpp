#include "disassembly.h"

#include <regex>
#include <sstream>

namespace imagetest {

namespace {

std::string Trim(const std::string &text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

bool Instruction::TouchesMemoryOutsideTheStack() const {
  if (mnemonic == "lea" || mnemonic == "nop") return false;
  static const std::regex memory(R"(\[\s*([a-z0-9]+))");
  std::smatch match;
  if (!std::regex_search(operands, match, memory)) return false;
  const std::string base = match[1];
  return base != "esp" && base != "rsp" && base != "ebp" && base != "rbp";
}

std::optional<std::string> Instruction::MemoryWidth() const {
  static const std::regex width(R"(\b(byte|word|dword|qword|xmmword|ymmword|tbyte) ptr \[)");
  std::smatch match;
  if (!std::regex_search(operands, match, width)) return std::nullopt;
  return match[1].str();
}

bool Instruction::WritesMemory() const {
  const auto comma = operands.find(',');
  const auto bracket = operands.find('[');
  return bracket != std::string::npos && (comma == std::string::npos || bracket < comma);
}

Disassembly ParseDisassembly(const std::string &objdumpOutput) {
  static const std::regex function(R"(^[0-9a-fA-F]+ <(.*)>:$)");
  static const std::regex instruction(R"(^\s*[0-9a-fA-F]+:\s+(\S+)\s*(.*)$)");
  Disassembly result;
  std::vector<Instruction> *current = nullptr;
  std::istringstream lines(objdumpOutput);
  std::string line;
  std::smatch match;
  while (std::getline(lines, line)) {
    if (std::regex_match(line, match, function)) {
      current = &result[match[1]];
    } else if (current != nullptr && std::regex_match(line, match, instruction)) {
      current->push_back({match[1], Trim(match[2])});
    } else if (Trim(line).empty()) {
      current = nullptr;
    }
  }
  return result;
}

std::vector<Instruction> FunctionNamed(const Disassembly &disassembly, const std::string &fragment) {
  const std::vector<Instruction> *found = nullptr;
  for (const auto &[name, instructions] : disassembly) {
    if (name.find(fragment) == std::string::npos) continue;
    if (found != nullptr) return {};
    found = &instructions;
  }
  return found != nullptr ? *found : std::vector<Instruction>{};
}

}  // namespace imagetest
