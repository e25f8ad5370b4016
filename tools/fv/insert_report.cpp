#include "tools/fv/insert_report.h"

#include <algorithm>

#include "sim/image/byte_reader.h"
#include "tools/fv/ffs_file.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/volume_list.h"

namespace boardfv {

using boardimage::Hex;

std::optional<std::uint64_t> ParseAddress(std::string_view text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string_view digits = hex ? text.substr(2) : text;
  if (digits.empty() || (!hex && digits.size() > 1 && digits[0] == '0')) return std::nullopt;
  if (hex && digits.size() > 16) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (hex) {
      value = value << 4 | digit;
    } else {
      if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
      value = value * 10 + digit;
    }
  }
  return value;
}

void RequireSingleFile(std::span<const std::uint8_t> bytes, const std::string &path) {
  const FileHeader header = ParseFileHeader(bytes, path);
  if (header.size != bytes.size()) {
    throw FvError(path + ": " + Hex(bytes.size() - header.size) + " bytes follow file " + header.name.Text() + " (" +
                  Hex(header.size) + " bytes); give one file per FILE.ffs");
  }
}

void RequireTargetsPresent(std::span<const std::uint8_t> image, std::span<const Insertion> insertions) {
  const auto volumes = ListVolumes(image);
  for (const auto &insertion : insertions) {
    if (std::any_of(volumes.begin(), volumes.end(), [&](const ListedVolume &v) { return v.name == insertion.volume; }))
      continue;
    std::string there;
    for (const auto &volume : volumes) {
      there += "\n  " + (volume.name ? volume.name->Text() : std::string("(unnamed)")) + "  at " + volume.path;
    }
    throw FvError("no volume named " + insertion.volume.Text() +
                  " in the image; the volumes there are:" + (there.empty() ? std::string("\n  (none)") : there));
  }
}

std::string FormatPlacements(std::span<const Placement> placements) {
  std::string text;
  for (const auto &placement : placements) {
    text += "placed in " + placement.volume + " at offset " + Hex(placement.offset);
    if (placement.teAddress) text += ", TE image rebased for " + Hex(*placement.teAddress);
    text += "\n";
  }
  return text;
}

}  // namespace boardfv
