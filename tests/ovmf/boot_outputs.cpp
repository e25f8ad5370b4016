#include "boot_outputs.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace ovmf::testing {
namespace {

std::vector<std::string> ReadLines(const std::string &dir, const std::string &name) {
  const std::string path = dir + "/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + " cannot be read: the ovmf_boot fixture did not record a boot");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The console is a terminal: colours, cursor moves and screen clears come
// as escape sequences, and each line ends in a carriage return.
std::string PlainText(const std::string &line) {
  static const std::regex kEscape("\x1B\\[[0-9;=?]*[A-Za-z]");
  std::string text = std::regex_replace(line, kEscape, "");
  std::erase(text, '\r');
  return text;
}

std::vector<std::string> Report(const std::vector<std::string> &lines, const std::string &probe) {
  std::vector<std::string> plain;
  for (const std::string &line : lines) plain.push_back(PlainText(line));
  std::vector<std::string> report = LinesFrom(plain, probe + " probe: begin", probe + " probe: end");
  if (report.empty() || report.back() != probe + " probe: end")
    throw std::runtime_error("the " + probe + " probe's report is missing or cut short in the recorded boot");
  return report;
}

// "Invalid read at addr 0xE00F8002, size 2, region '(null)', reason: rejected"
// up to the size. The log has tens of thousands of lines: no regex here.
std::vector<std::string> UnassignedAccesses(const std::vector<std::string> &log) {
  std::vector<std::string> accesses;
  for (const std::string &line : log) {
    if (!line.starts_with("Invalid read at addr ") && !line.starts_with("Invalid write at addr ")) continue;
    accesses.push_back(line.substr(0, line.find(", region")));
  }
  return accesses;
}

BootOutputs Load(const std::string &dir) {
  BootOutputs outputs;
  outputs.peiReport = Report(ReadLines(dir, "debugcon.txt"), "pei");
  outputs.dxeReport = Report(ReadLines(dir, "serial.txt"), "dxe");
  outputs.unassignedAccesses = UnassignedAccesses(ReadLines(dir, "qemu.log"));
  return outputs;
}

}  // namespace

const BootOutputs &RecordedBoot(Registers registers) {
  if (registers == Registers::kBare) {
    static const BootOutputs bare = Load(std::string(OVMF_BOOT_DIR) + "/bare");
    return bare;
  }
  static const BootOutputs shipped = Load(std::string(OVMF_BOOT_DIR) + "/shipped");
  return shipped;
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string> &lines,
                                           const std::vector<std::string> &prefixes) {
  std::vector<std::string> found;
  for (const std::string &line : lines)
    for (const std::string &prefix : prefixes)
      if (line.starts_with(prefix)) {
        found.push_back(line);
        break;
      }
  return found;
}

std::vector<std::string> LinesFrom(const std::vector<std::string> &lines, const std::string &first,
                                   const std::string &end) {
  std::vector<std::string> found;
  bool inside = false;
  for (const std::string &line : lines) {
    if (!inside && line == first) inside = true;
    if (inside) found.push_back(line);
    if (inside && line == end) break;
  }
  return found;
}

std::string SimulatedBootOutput(const std::string &arguments) {
  const std::string command = std::string(BOARDSIM_PATH) + " --trace " + arguments + " 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  std::string output;
  if (pipe != nullptr) {
    std::array<char, 4096> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), got);
    pclose(pipe);
  }
  return output;
}

}  // namespace ovmf::testing
