#include "tools/fv/volume_list.h"

#include <string>

#include "sim/image/byte_reader.h"
#include "tools/fv/ffs_format.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/image_patch.h"
#include "tools/fv/lzma_codec.h"
#include "tools/fv/sections.h"

namespace boardfv {

using boardimage::Hex;

namespace {

class Lister {
 public:
  explicit Lister(std::uint64_t budget) : budget_(budget) {}

  void Volume(std::span<const std::uint8_t> bytes, std::uint64_t offset, const std::string &at, unsigned depth) {
    RequireNestingDepth(at, depth);
    ListedVolume listed;
    listed.path = at;
    listed.offset = offset;
    listed.fileSystem = Guid::Read(bytes.subspan(ffs::kVolumeFileSystemGuidOffset, 16));
    listed.ffs = HasFfsFileSystem(bytes);
    if (!listed.ffs) {
      listed.length = SkippedVolumeLength(bytes, at);
      volumes_.push_back(listed);
      return;
    }
    const boardfv::Volume volume = ParseVolume(bytes, at);
    listed.length = volume.length;
    listed.name = volume.name;
    listed.freeBytes = volume.length - volume.freeOffset;
    listed.files = volume.files;
    volumes_.push_back(listed);
    const std::string where = volume.name ? at + " " + volume.name->Text() : at;
    for (const auto &file : volume.files) {
      if (!file.live || file.header.type != ffs::kFileTypeVolumeImage) continue;
      const auto data = bytes.subspan(file.offset + file.header.headerSize, file.header.size - file.header.headerSize);
      Sections(data, where + " > file " + file.header.name.Text(), depth + 1);
    }
  }

  std::vector<ListedVolume> Take() { return std::move(volumes_); }

 private:
  void Sections(std::span<const std::uint8_t> list, const std::string &where, unsigned depth) {
    RequireNestingDepth(where, depth);
    for (const auto &section : ParseSections(list, where)) {
      const std::string at = where + " > section at offset " + Hex(section.offset);
      if (section.type == ffs::kSectionVolumeImage) {
        Volume(section.body, section.offset + section.headerSize, at + " > volume", depth + 1);
      } else if (section.type == ffs::kSectionGuidDefined) {
        const auto guided = ReadGuidDefined(section, where);
        if (guided.definition != ffs::kLzmaSectionGuid) continue;
        Sections(UnpackLzmaSection(guided.data, budget_, at), at + " (LZMA)", depth + 1);
      }
    }
  }

  std::uint64_t budget_;
  std::vector<ListedVolume> volumes_;
};

std::string FileSystemName(const ListedVolume &volume) {
  if (volume.fileSystem == ffs::kFileSystem2Guid) return "FFS 2";
  if (volume.fileSystem == ffs::kFileSystem3Guid) return "FFS 3";
  return volume.fileSystem.Text() + " (not FFS, skipped)";
}

}  // namespace

std::vector<ListedVolume> ListVolumes(std::span<const std::uint8_t> image) {
  Lister lister(UnpackBudget(image.size()));
  std::size_t offset = 0;
  while (offset + ffs::kVolumeHeaderSize <= image.size()) {
    const auto rest = image.subspan(offset);
    if (!LooksLikeVolume(rest)) {
      offset += ffs::kFileAlignment;
      continue;
    }
    const std::string where = "volume at image offset " + Hex(offset);
    const std::uint64_t length =
        HasFfsFileSystem(rest) ? ParseVolume(rest, where).length : SkippedVolumeLength(rest, where);
    lister.Volume(rest.first(length), offset, where, 0);
    offset += length;
  }
  return lister.Take();
}

std::string FormatVolumeList(std::span<const ListedVolume> volumes) {
  std::string text;
  for (const auto &volume : volumes) {
    text += "volume " + (volume.name ? volume.name->Text() : std::string("(unnamed)")) + "  offset " +
            Hex(volume.offset) + "  size " + Hex(volume.length) + "  " + FileSystemName(volume);
    if (volume.ffs) text += "  free " + Hex(volume.freeBytes);
    text += "\n  at " + volume.path + "\n";
    for (const auto &file : volume.files) {
      text += "  file " + file.header.name.Text() + "  type " + Hex(file.header.type) + "  offset " + Hex(file.offset) +
              "  size " + Hex(file.header.size) + (file.live ? "" : "  (not live)") + "\n";
    }
  }
  return text;
}

}  // namespace boardfv
