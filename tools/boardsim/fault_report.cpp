#include "tools/boardsim/fault_report.h"

#include <chrono>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "tools/process/program_output.h"

namespace boardsim {
namespace {

std::string HexOf(std::uint64_t value, unsigned pointerSize) {
  char text[24];
  std::snprintf(text, sizeof text, pointerSize == 8 ? "0x%016llX" : "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

struct Place {
  std::string function;
  std::string line;  // "pei/lane_overrides.cpp:24"
};

// llvm-symbolizer's answer for each address: a function line, a
// file:line:column line and a blank line.
std::vector<Place> Symbolize(const std::filesystem::path &symbols, const std::vector<std::uint64_t> &linked) {
  std::vector<std::string> arguments = {"", "--obj=" + symbols.string(), "--no-inlines", "--relativenames"};
  for (const auto address : linked) arguments.push_back(HexOf(address, 8));
  constexpr std::uint64_t kMostOutput = 1 << 20;
  constexpr std::chrono::seconds kLongest{10};
  std::string output;
  std::string failures;
  for (const char *program : {"llvm-symbolizer", "llvm-symbolizer-14"}) try {
      arguments[0] = program;
      output = boardprocess::ProgramOutput(arguments, kMostOutput, kLongest);
      failures.clear();
      break;
    } catch (const std::runtime_error &error) {
      failures += std::string(failures.empty() ? "" : "; ") + error.what();
    }
  if (!failures.empty()) throw std::runtime_error(failures);
  std::vector<Place> places;
  std::istringstream lines(output);
  std::string function;
  std::string line;
  while (places.size() < linked.size() && std::getline(lines, function)) {
    if (function.empty()) continue;
    if (!std::getline(lines, line)) break;
    // Drop the column: "file:line:column" -> "file:line".
    const auto last = line.rfind(':');
    if (last != std::string::npos && line.find(':') != last) line.erase(last);
    places.push_back({function, line});
  }
  if (places.size() != linked.size())
    throw std::runtime_error("llvm-symbolizer answered for " + std::to_string(places.size()) + " of " +
                             std::to_string(linked.size()) + " addresses");
  return places;
}

}  // namespace

std::string FaultReport(const emulated::FaultState &fault, const std::filesystem::path &images) {
  const unsigned width = fault.pointerSize;
  // The line of a return address is that of the call before it.
  std::vector<std::uint64_t> linked = {fault.pc - fault.relocation};
  for (const auto back : fault.returnAddresses) linked.push_back(back - 1 - fault.relocation);
  const auto symbols = images / (fault.module + ".debug");
  std::vector<Place> places;
  std::string unnamed;
  if (!std::filesystem::exists(symbols)) {
    unnamed = "no symbol file " + symbols.string();
  } else {
    try {
      places = Symbolize(symbols, linked);
    } catch (const std::runtime_error &error) {
      unnamed = symbols.string() + " could not be read: " + error.what();
    }
  }
  auto name = [&](std::size_t index) {
    if (!places.empty()) return places[index].function + " at " + places[index].line;
    return index < fault.described.size() ? fault.described[index] : std::string("?");
  };
  std::string text = "Fault in " + fault.module + " at " + HexOf(fault.pc, width) + ": " + name(0) + "\n";
  if (!unnamed.empty()) text += "  (" + unnamed + ": functions and lines unknown)\n";
  text += "  Registers:";
  for (std::size_t i = 0; i < fault.registers.size(); ++i)
    text += std::string(i % (width == 8 ? 4 : 6) == 0 ? "\n   " : "") + " " + fault.registers[i].first + "=" +
            HexOf(fault.registers[i].second, width);
  text += "\n  Call chain (" + fault.chainMethod + "):\n";
  text += "    #0 " + HexOf(fault.pc, width) + " " + name(0) + "\n";
  for (std::size_t i = 0; i < fault.returnAddresses.size(); ++i)
    text += "    #" + std::to_string(i + 1) + " " + HexOf(fault.returnAddresses[i], width) + " " + name(i + 1) + "\n";
  if (fault.returnAddresses.empty()) text += "    (no caller found)\n";
  return text;
}

}  // namespace boardsim
