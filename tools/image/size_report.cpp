#include "tools/image/size_report.h"

#include <cstdio>

#include "tools/image/byte_reader.h"
#include "tools/image/firmware_layout.h"

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
  const std::uint64_t headerBytes =
      headers.sections.empty() ? file.size() : headers.FileOffsetOfSection(headers.sections.front());
  report +=
      Line("  %-10s %10s %10s %12s %10llu\n", "(headers)", "", "", "0x0", static_cast<unsigned long long>(headerBytes));
  for (const auto &section : headers.sections) {
    report += Line("  %-10s %10s %10u %12s %10u  %s\n", section.name.c_str(), Hex(section.virtualAddress).c_str(),
                   section.virtualSize, Hex(headers.FileOffsetOfSection(section)).c_str(), section.rawSize,
                   section.Permissions().c_str());
  }
  return report;
}

}  // namespace boardimage
