// Hostile images built here, one per class of damage insert must refuse with
// a message saying what is wrong (and nothing written): wrapped offsets,
// unbounded nesting, LZMA size claims, same-named volumes, damaged files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/fv/hand_made_volume.h"
#include "tools/fv/ffs_file.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/image_patch.h"
#include "tools/fv/sections.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes &bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The volume header's checksum made right after an edit (72-byte header).
void Reseal(Bytes &volume) {
  volume[50] = volume[51] = 0;
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < 72; i += 2) sum = static_cast<std::uint16_t>(sum + volume[i] + (volume[i + 1] << 8));
  sum = static_cast<std::uint16_t>(0x10000 - sum);
  volume[50] = static_cast<std::uint8_t>(sum);
  volume[51] = static_cast<std::uint8_t>(sum >> 8);
}

// `inner` in a volume-image section of a volume-image file of a new volume.
Bytes Wrap(const Bytes &inner, const fvtest::GuidBytes &name) {
  Bytes sections;
  boardfv::AppendSection(sections, 0x17, inner);
  auto outer = fvtest::EmptyVolume(static_cast<std::uint32_t>((inner.size() + 0x1FF) / 0x100 * 0x100), 3, name);
  fvtest::PutFile(outer, 0x78, fvtest::kOuterVolumeName, 0x0B, sections);
  return outer;
}

Bytes DriverFile() {
  Bytes sections;
  const std::uint8_t body[] = {1, 2, 3, 4};
  boardfv::AppendSection(sections, 0x19, body);
  boardfv::Guid name;
  name.bytes[0] = 0x42;
  return boardfv::BuildFile({name, 0x07, 0x40}, sections);  // with a data checksum
}

struct Hostile {
  const char *what;
  std::function<Bytes()> image;
  std::function<Bytes()> file;
  const char *refusal;
};

TEST(HostileImage, EachClassIsRefusedSayingWhatAndWhere) {
  const auto inner = [] { return fvtest::EmptyVolume(0x1000, 3, fvtest::kInnerVolumeName); };
  const Hostile cases[] = {
      {"extended header size that wraps 32 bits",
       [&] {
         auto v = inner();
         const std::uint32_t ext = fvtest::Little(v, 52, 2);
         Put32(v, ext + 16, 0xFFFFFFF0);
         return v;
       },
       DriverFile, "runs past the volume's end 0x1000"},
      {"extended header past the volume's end",
       [&] {
         auto v = inner();
         v[52] = 0xF8;
         v[53] = 0x0F;
         Reseal(v);
         return v;
       },
       DriverFile, "extended header at offset 0xFF8 lies past the volume's end"},
      {"volumes nested 40 deep",
       [&] {
         auto v = inner();
         for (int i = 0; i < 40; ++i) {
           auto name = fvtest::kOuterVolumeName;
           name[15] = static_cast<std::uint8_t>(i);
           v = Wrap(v, name);
         }
         return v;
       },
       DriverFile, "nest more than 32 deep"},
      {"two volumes with the same name",
       [&] {
         auto v = inner();
         const auto second = inner();
         v.insert(v.end(), second.begin(), second.end());
         return v;
       },
       DriverFile, "a second volume named 44332211-6655-8877-99AA-BBCCDDEEF001"},
      {"an LZMA section claiming 64 GiB",
       [&] {
         Bytes stream = {0x5D, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0};  // 2^36 bytes, 64 KiB dictionary
         Bytes sections;
         const auto lzma = boardfv::Guid::Parse("EE4E5898-3914-4259-9D6E-DC7BD79403CF");
         boardfv::AppendGuidDefinedSection(sections, *lzma, 1, stream);
         auto v = fvtest::EmptyVolume(0x1000, 3, fvtest::kOuterVolumeName);
         fvtest::PutFile(v, 0x78, fvtest::kOuterVolumeName, 0x0B, sections);
         const auto target = inner();
         v.insert(v.end(), target.begin(), target.end());
         return v;
       },
       DriverFile, "(LZMA): the LZMA header claims 0x1000000000 unpacked bytes"},
      {"a file to insert with a wrong data checksum", inner,
       [] {
         auto file = DriverFile();
         file.back() ^= 0xFF;
         return file;
       },
       "has a wrong data checksum"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    boardfv::Insertion insertion;
    std::copy(fvtest::kInnerVolumeName.begin(), fvtest::kInnerVolumeName.end(), insertion.volume.bytes.begin());
    insertion.file = c.file();
    const auto image = c.image();
    EXPECT_THAT([&] { boardfv::InsertIntoImage(image, std::span(&insertion, 1)); },
                testing::ThrowsMessage<boardfv::FvError>(testing::HasSubstr(c.refusal)));
  }
}

}  // namespace
