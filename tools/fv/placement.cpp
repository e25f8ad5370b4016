#include "tools/fv/placement.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "sim/image/byte_reader.h"
#include "tools/fv/ffs_file.h"
#include "tools/fv/ffs_format.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/sections.h"
#include "tools/fv/te_rebase.h"

namespace boardfv {

using boardimage::Hex;

std::optional<std::uint64_t> PlaceFile(std::span<std::uint8_t> file, std::optional<std::uint64_t> fileAddress,
                                       bool erasePolarity, const std::string &where) {
  const FileHeader header = ParseFileHeader(file, where);
  if (header.type == ffs::kFileTypeRaw || header.type == ffs::kFileTypePad) {
    SealFile(file, erasePolarity);
    return std::nullopt;
  }
  std::optional<std::uint64_t> rebasedAt;
  const auto data = file.subspan(header.headerSize, header.size - header.headerSize);
  for (const auto &section : ParseSections(data, where + ": file " + header.name.Text())) {
    if (section.type != ffs::kSectionTe) continue;
    if (!fileAddress) {
      throw FvError(where + ": file " + header.name.Text() +
                    " holds a TE image, which executes where it lies: give the volume's address");
    }
    const std::uint64_t imageAddress = *fileAddress + header.headerSize + section.offset + section.headerSize;
    std::vector<std::uint8_t> rebased;
    try {
      rebased = RebaseTe(section.body, imageAddress);
    } catch (const std::runtime_error &error) {
      throw FvError(where + ": file " + header.name.Text() + " > TE section at offset " + Hex(section.offset) + ": " +
                    error.what());
    }
    std::copy(rebased.begin(), rebased.end(), data.begin() + section.offset + section.headerSize);
    rebasedAt = imageAddress;
  }
  SealFile(file, erasePolarity);
  return rebasedAt;
}

}  // namespace boardfv
