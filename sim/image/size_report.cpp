#include "sim/image/size_report.h"

#include <algorithm>
#include <cstdio>

#include "sim/image/byte_reader.h"
#include "sim/image/firmware_layout.h"

namespace boardimage {

std::optional<std::uint32_t> BudgetOf(std::string_view fileName) {
  for (const auto &image : firmware_layout::kFirmwareImages) {
    if (fileName == image.fileName) return image.budget;
  }
  return std::nullopt;
}

namespace {

std::string Line(const char *format, auto... values) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

}  // namespace

std::string FormatSizeReport(std::string_view fileName, std::span<const std::uint8_t> file, const ImageHeaders &headers,
                             std::optional<std::uint32_t> budget) {
  const auto size = static_cast<unsigned long long>(file.size());
  std::string report = std::string(fileName) + ": " + std::string(FormatName(headers.format)) + " " +
                       std::string(MachineName(headers.machine)) + ", " + std::to_string(size) + " bytes";
  if (budget) {
    report += size <= *budget ? Line(" (budget %u, %llu left)", *budget, *budget - size)
                              : Line(" (budget %u, OVER by %llu)", *budget, size - *budget);
  }
  report += "\n";
  report +=
      Line("  %-10s %10s %10s %12s %10s  %s\n", "section", "RVA", "mem bytes", "file offset", "file bytes", "access");
  // A section without file data (.bss, or a damaged header) has no place in
  // the file: its raw offset means nothing, and in a TE image it may even
  // lie inside the stripped headers.
  std::uint64_t headerBytes = file.size();
  for (const auto &section : headers.sections)
    if (section.rawSize != 0) headerBytes = std::min(headerBytes, headers.FileOffsetOfSection(section));
  report +=
      Line("  %-10s %10s %10s %12s %10llu\n", "(headers)", "", "", "0x0", static_cast<unsigned long long>(headerBytes));
  for (const auto &section : headers.sections) {
    const std::string offset = section.rawSize == 0 ? "-" : Hex(headers.FileOffsetOfSection(section));
    report += Line("  %-10s %10s %10u %12s %10u  %s\n", section.name.c_str(), Hex(section.virtualAddress).c_str(),
                   section.virtualSize, offset.c_str(), section.rawSize, section.Permissions().c_str());
  }
  return report;
}

}  // namespace boardimage
