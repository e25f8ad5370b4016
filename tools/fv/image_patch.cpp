#include "tools/fv/image_patch.h"

#include <algorithm>
#include <string>
#include <utility>

#include "sim/image/byte_reader.h"
#include "tools/fv/ffs_format.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/lzma_codec.h"
#include "tools/fv/sections.h"
#include "tools/fv/volume.h"
#include "tools/fv/volume_list.h"

namespace boardfv {

using boardimage::Hex;

void RequireNestingDepth(const std::string &where, unsigned depth) {
  if (depth > kMaxNestingDepth) {
    throw FvError(where + ": volumes and sections nest more than " + std::to_string(kMaxNestingDepth) + " deep");
  }
}

std::vector<std::uint8_t> UnpackLzmaSection(std::span<const std::uint8_t> stream, std::uint64_t &budget,
                                            const std::string &where) {
  std::vector<std::uint8_t> unpacked;
  try {
    unpacked = LzmaDecompress(stream, budget);
  } catch (const FvError &error) {
    throw FvError(where + " (LZMA): " + error.what());
  }
  budget -= unpacked.size();
  return unpacked;
}

namespace {

class Patcher {
 public:
  Patcher(std::span<const Insertion> insertions, std::uint64_t budget)
      : insertions_(insertions), done_(insertions.size()), budget_(budget) {}

  // Returns whether anything inside `volume` changed.
  bool PatchVolume(std::span<std::uint8_t> bytes, const std::string &at, unsigned depth) {
    RequireNestingDepth(at, depth);
    bool changed = false;
    const Volume volume = ParseVolume(bytes, at);
    const std::string where = volume.name ? at + " " + volume.name->Text() : at;
    if (volume.name) {
      for (const auto &[name, first] : seen_) {
        if (name == *volume.name) {
          throw FvError(where + ": a second volume named " + name.Text() + " (the first is " + first +
                        "); fvpack patches only images whose volume names are unique");
        }
      }
      seen_.emplace_back(*volume.name, where);
    }
    for (const auto &file : volume.files) {
      if (!file.live || file.header.type != ffs::kFileTypeVolumeImage) continue;
      const std::string inFile = where + " > file " + file.header.name.Text();
      const auto data = bytes.subspan(file.offset + file.header.headerSize, file.header.size - file.header.headerSize);
      std::vector<std::uint8_t> sections(data.begin(), data.end());
      if (!PatchSections(sections, inFile, depth + 1)) continue;
      changed = true;
      if (sections.size() == data.size()) {
        std::copy(sections.begin(), sections.end(), data.begin());
        SealFile(bytes.subspan(file.offset, file.header.size), volume.erasePolarity);
      } else {
        auto rebuilt = BuildFile({file.header.name, file.header.type, file.header.attributes}, sections);
        SealFile(rebuilt, volume.erasePolarity);
        ReplaceLastFile(bytes, volume, file, rebuilt, where);
      }
    }
    for (std::size_t i = 0; i < insertions_.size(); ++i) {
      if (!volume.name || *volume.name != insertions_[i].volume) continue;
      Placement placement{where, 0, std::nullopt};
      placement.offset =
          InsertFile(bytes, insertions_[i].file, insertions_[i].volumeAddress, where, &placement.teAddress);
      placements_.push_back(placement);
      done_[i] = true;
      changed = true;
    }
    return changed;
  }

  const std::vector<Placement> &Placements() const { return placements_; }

  void RequireAllDone() const {
    for (std::size_t i = 0; i < insertions_.size(); ++i) {
      if (!done_[i]) throw FvError("no volume named " + insertions_[i].volume.Text() + " in the image");
    }
  }

 private:
  // Returns whether anything inside the section list changed; `list` then
  // holds the rebuilt list.
  bool PatchSections(std::vector<std::uint8_t> &list, const std::string &where, unsigned depth) {
    RequireNestingDepth(where, depth);
    const std::vector<std::uint8_t> original = list;
    std::vector<std::uint8_t> rebuilt;
    bool changed = false;
    for (const auto &section : ParseSections(original, where)) {
      const std::string at = where + " > section at offset " + Hex(section.offset);
      const auto whole = std::span(original).subspan(section.offset, section.size);
      if (section.type == ffs::kSectionVolumeImage) {
        std::vector<std::uint8_t> copy(whole.begin(), whole.end());
        if (PatchVolume(std::span(copy).subspan(section.headerSize), at + " > volume", depth + 1)) {
          changed = true;
          AppendRaw(rebuilt, copy);
          continue;
        }
      } else if (section.type == ffs::kSectionGuidDefined) {
        const auto guided = ReadGuidDefined(section, where);
        if (guided.definition == ffs::kLzmaSectionGuid) {
          std::vector<std::uint8_t> unpacked = UnpackLzmaSection(guided.data, budget_, at);
          if (PatchSections(unpacked, at + " (LZMA)", depth + 1)) {
            changed = true;
            AppendGuidDefinedSection(rebuilt, guided.definition, guided.attributes, LzmaCompress(unpacked));
            continue;
          }
        }
      }
      AppendRaw(rebuilt, whole);
    }
    if (changed) list = std::move(rebuilt);
    return changed;
  }

  // Appends a whole section as it is, on its 4-byte boundary.
  static void AppendRaw(std::vector<std::uint8_t> &list, std::span<const std::uint8_t> section) {
    list.resize(ffs::AlignUp(static_cast<std::uint32_t>(list.size()), ffs::kSectionAlignment), 0);
    list.insert(list.end(), section.begin(), section.end());
  }

  std::span<const Insertion> insertions_;
  std::vector<bool> done_;
  std::vector<Placement> placements_;
  std::uint64_t budget_;                            // unpacked bytes this run may still produce
  std::vector<std::pair<Guid, std::string>> seen_;  // volume names met so far, and where
};

}  // namespace

std::uint64_t UnpackBudget(std::uint64_t inputSize) {
  return std::clamp<std::uint64_t>(inputSize * 64, kMinUnpackBudget, kMaxUnpackBudget);
}

std::vector<std::uint8_t> InsertIntoImage(std::span<const std::uint8_t> image, std::span<const Insertion> insertions,
                                          std::vector<Placement> *placements) {
  std::vector<std::uint8_t> patched(image.begin(), image.end());
  Patcher patcher(insertions, UnpackBudget(image.size()));
  std::size_t offset = 0;
  while (offset + ffs::kVolumeHeaderSize <= patched.size()) {
    const auto rest = std::span(patched).subspan(offset);
    if (!LooksLikeVolume(rest)) {
      offset += ffs::kFileAlignment;
      continue;
    }
    const std::string where = "volume at image offset " + Hex(offset);
    if (!HasFfsFileSystem(rest)) {
      // Another file system (variable storage, for one): not ours to patch.
      offset += SkippedVolumeLength(rest, where);
      continue;
    }
    const Volume volume = ParseVolume(rest, where);
    patcher.PatchVolume(rest.first(volume.length), where, 0);
    offset += volume.length;
  }
  patcher.RequireAllDone();
  try {
    ListVolumes(patched);
  } catch (const std::exception &error) {
    throw FvError(std::string("the patched image would not read back, so it is not written: ") + error.what());
  }
  if (placements != nullptr) *placements = patcher.Placements();
  return patched;
}

}  // namespace boardfv
