// Firmware volumes: the image walk, volumes, files, sections, LZMA and the
// TE rebase, through fvpack's insert. The first 16 bytes name the target
// volume, the next 8 its address (used when odd, rounded down to 4 KiB), the
// next 2 the length of the file to insert, which follows (none: a small
// freeform file); the rest is the image. Malformed images are
// refused with FvError; whatever insert returns parses back, and holds the
// file that was placed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/image/byte_reader.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/fv/ffs_file.h"
#include "tools/fv/ffs_format.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/image_patch.h"
#include "tools/fv/sections.h"

using boardsim::fuzz::Violated;

namespace {

constexpr std::size_t kPrefix = 26;

// A small driver file with one raw section, as insert is given one.
std::vector<std::uint8_t> FileToInsert() {
  std::vector<std::uint8_t> sections;
  const std::uint8_t body[] = {0xB0, 0xA7, 0xD0, 0x17};
  boardfv::AppendSection(sections, 0x19, body);
  const auto name = boardfv::Guid::Parse("5A1E4E67-2C3B-4F0D-9E8A-1B2C3D4E5F60");
  return boardfv::BuildFile({*name, boardfv::ffs::kFileTypeFreeform, 0}, sections);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < kPrefix) return 0;
  const std::span<const std::uint8_t> bytes(data, size);
  boardfv::Insertion insertion;
  insertion.volume = boardfv::Guid::Read(bytes.first(16));
  std::uint64_t address = 0;
  for (int i = 7; i >= 0; --i) address = address << 8 | bytes[16 + i];
  if (address & 1) insertion.volumeAddress = address & ~std::uint64_t{0xFFF};
  const std::size_t fileLength = bytes[24] | bytes[25] << 8;
  if (size - kPrefix < fileLength) return 0;
  if (fileLength == 0) {
    insertion.file = FileToInsert();
  } else {
    const auto file = bytes.subspan(kPrefix, fileLength);
    insertion.file.assign(file.begin(), file.end());
  }
  const auto image = bytes.subspan(kPrefix + fileLength);
  std::vector<std::uint8_t> patched;
  try {
    patched = boardfv::InsertIntoImage(image, std::span(&insertion, 1));
  } catch (const boardfv::FvError &) {
    return 0;
  } catch (const boardimage::ImageFormatError &) {
    return 0;
  }
  if (patched.size() != image.size()) Violated("insert changed the image's size");
  try {
    // The output parses back, and the same file cannot go in twice.
    boardfv::InsertIntoImage(patched, {});
  } catch (const std::exception &error) {
    Violated(std::string("insert's output does not parse back: ") + error.what());
  }
  try {
    boardfv::InsertIntoImage(patched, std::span(&insertion, 1));
    Violated("the inserted file is not in the output");
  } catch (const boardfv::FvError &) {
  }
  return 0;
}
