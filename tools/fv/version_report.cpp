#include "tools/fv/version_report.h"

#include "sim/image/image_headers.h"
#include "tools/fv/version_section.h"

namespace boardfv {

std::string DescribeVersion(std::span<const std::uint8_t> bytes, std::string_view fileName) {
  if (fileName.ends_with(".ffs")) {
    const auto version = ReadFileVersion(bytes, fileName);
    if (!version) return "no version section";
    return "version " + version->text + ", build " + std::to_string(version->build) + " (version section)";
  }
  const auto headers = boardimage::ParseImage(bytes);
  if (headers.format == boardimage::ImageFormat::Te)
    return "no version fields (a TE image keeps none; its firmware file's version section carries the version)";
  return "image version " + std::to_string(headers.majorImageVersion) + "." +
         std::to_string(headers.minorImageVersion) + " (PE header)";
}

}  // namespace boardfv
