// The board's module files: BoardPei's depex, TE image placed and rebased
// where it lands, and insertion into a volume inside an LZMA-compressed
// section, with the enclosing section and file rebuilt.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "hand_made_volume.h"
#include "tools/files/input_file.h"
#include "tools/fv/board_modules.h"
#include "tools/fv/ffs_file.h"
#include "tools/fv/guid.h"
#include "tools/fv/image_patch.h"
#include "tools/fv/lzma_codec.h"
#include "tools/fv/sections.h"

namespace {

using fvtest::Little;
using fvtest::Sum8;

// 09BD1D6A-CE89-4D12-928B-4F4E480ADBD2 and 215FD844-570B-4123-A21F-2E99827456F9.
constexpr fvtest::GuidBytes kBoardPeiName = {0x6A, 0x1D, 0xBD, 0x09, 0x89, 0xCE, 0x12, 0x4D,
                                             0x92, 0x8B, 0x4F, 0x4E, 0x48, 0x0A, 0xDB, 0xD2};
constexpr fvtest::GuidBytes kBoardDxeName = {0x44, 0xD8, 0x5F, 0x21, 0x0B, 0x57, 0x23, 0x41,
                                             0xA2, 0x1F, 0x2E, 0x99, 0x82, 0x74, 0x56, 0xF9};

boardfv::Guid GuidOf(const fvtest::GuidBytes &bytes) {
  boardfv::Guid guid;
  std::copy(bytes.begin(), bytes.end(), guid.bytes.begin());
  return guid;
}

std::size_t Find(std::span<const std::uint8_t> haystack, std::span<const std::uint8_t> needle) {
  return static_cast<std::size_t>(std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) -
                                  haystack.begin());
}

TEST(BoardPeiFile, PlacedInAVolumeItsTeImageRunsWhereItLies) {
  const auto te = boardfiles::ReadInputFile(BOARD_FIRMWARE_DIR "/BoardPei.te");
  auto volume = fvtest::EmptyVolume(0x4000, 7, fvtest::kInnerVolumeName);
  constexpr std::uint64_t kVolumeAddress = 0x820000;
  boardfv::Insertion insertion{GuidOf(fvtest::kInnerVolumeName), kVolumeAddress,
                               boardfv::BuildModuleFile(boardfv::kBoardPei, te)};
  volume = boardfv::InsertIntoImage(volume, std::span(&insertion, 1));

  const std::size_t file = Find(volume, kBoardPeiName);
  ASSERT_LT(file, volume.size());
  EXPECT_EQ(volume[file + 18], 0x06) << "a PEIM";
  EXPECT_EQ((file + 24) % 128, 0u) << "its data aligned as its attributes ask";
  const std::vector<std::uint8_t> depex = {0x16, 0x00, 0x00, 0x1B, 0x02, 0x58, 0x1C, 0xE8, 0x06, 0xD7, 0x4A,
                                           0xBC, 0x44, 0x83, 0x90, 0xF1, 0x02, 0x65, 0xF7, 0x24, 0x80, 0x08};
  EXPECT_TRUE(std::equal(depex.begin(), depex.end(), volume.begin() + static_cast<std::ptrdiff_t>(file) + 24))
      << "first section: PEI depex PUSH PCD_PPI END";
  const std::vector<std::uint8_t> name = {'B', 0, 'o', 0, 'a', 0, 'r', 0, 'd', 0, 'P', 0, 'e', 0, 'i', 0, 0, 0};
  EXPECT_LT(Find(std::span(volume).subspan(file), name), 0x400u) << "a UI section names it";

  const std::vector<std::uint8_t> teSignature = {'V', 'Z', 0x4C, 0x01};
  const std::size_t header = file + Find(std::span(volume).subspan(file), teSignature);
  ASSERT_EQ(volume[header - 1], 0x12) << "the TE section's type, just before the image";
  const std::uint64_t headerAddress = kVolumeAddress + header;
  const std::uint32_t stripped = Little(te, 6, 2);
  const std::uint32_t imageBase = Little(volume, header + 16, 4);
  EXPECT_EQ(imageBase, headerAddress + 40 - stripped);
  EXPECT_EQ(imageBase % 32, 0u) << "its sections keep their link alignment";

  // Every 32-bit relocation target moved by the same delta; nothing else changed.
  const std::uint32_t delta = imageBase - Little(te, 16, 4);
  const std::uint32_t table = Little(te, 24, 4) - stripped + 40;
  std::vector<bool> relocated(te.size());
  for (std::uint32_t block = table; block < table + Little(te, 28, 4); block += Little(te, block + 4, 4)) {
    for (std::uint32_t entry = 8; entry < Little(te, block + 4, 4); entry += 2) {
      const std::uint32_t value = Little(te, block + entry, 2);
      if (value >> 12 != 3) continue;
      const std::uint32_t at = Little(te, block, 4) + (value & 0xFFF) - stripped + 40;
      EXPECT_EQ(Little(volume, header + at, 4) - Little(te, at, 4), delta) << "relocation at TE offset " << at;
      std::fill_n(relocated.begin() + at, 4, true);
    }
  }
  ASSERT_NE(std::count(relocated.begin(), relocated.end(), true), 0);
  for (std::size_t i = 0; i < te.size(); ++i) {
    if (!relocated[i] && (i < 16 || i >= 24)) EXPECT_EQ(volume[header + i], te[i]) << "TE offset " << i;
  }
  EXPECT_EQ(Sum8(std::span(volume).subspan(file + 24, Little(volume, file + 20, 3) - 24)) + volume[file + 17] & 0xFF, 0)
      << "the data checksum covers the rebased image";
}

TEST(CompressedVolume, InsertionRepacksWithTheRealSizeAndRebuildsTheFile) {
  // An outer volume whose one file holds an LZMA section holding a volume
  // image section of the inner volume, as in OVMF's main volume.
  const auto inner = fvtest::EmptyVolume(0x4000, 3, fvtest::kInnerVolumeName);
  std::vector<std::uint8_t> unpacked;
  boardfv::AppendSection(unpacked, 0x17, inner);
  std::vector<std::uint8_t> guided;
  boardfv::AppendGuidDefinedSection(guided, boardfv::Guid::FromText("EE4E5898-3914-4259-9D6E-DC7BD79403CF"), 1,
                                    boardfv::LzmaCompress(unpacked));
  auto outer = fvtest::EmptyVolume(0x8000, 3, fvtest::kOuterVolumeName);
  const std::uint32_t oldEnd = fvtest::PutFile(outer, 0x78, fvtest::kOuterVolumeName, 0x0B, guided);

  const auto dxe = boardfiles::ReadInputFile(BOARD_FIRMWARE_DIR "/BoardDxe.efi");
  boardfv::Insertion insertion{GuidOf(fvtest::kInnerVolumeName), std::nullopt,
                               boardfv::BuildModuleFile(boardfv::kBoardDxe, dxe)};
  const auto patched = boardfv::InsertIntoImage(outer, std::span(&insertion, 1));

  const auto file = std::span(patched).subspan(0x78);
  const std::uint32_t size = Little(file, 20, 3);
  EXPECT_NE(size + 0x78, oldEnd) << "the file takes the new packed size";
  EXPECT_EQ(static_cast<std::uint8_t>(Sum8(file.first(24)) - file[17] - file[23]), 0) << "header checksum";
  EXPECT_TRUE(std::all_of(patched.begin() + 0x78 + size, patched.end(), [](std::uint8_t b) { return b == 0xFF; }))
      << "what the old file left behind is erased";
  EXPECT_EQ(Little(file, 24, 3), size - 24) << "the LZMA section fills the file";
  EXPECT_EQ(file[27], 0x02);
  EXPECT_EQ(Little(file, 24 + 20, 2), 0x18u) << "data offset";
  const auto stream = file.subspan(24 + 0x18, size - 24 - 0x18);
  EXPECT_EQ(Little(stream, 5, 4), 0x4004u) << "uncompressed size, low word";
  EXPECT_EQ(Little(stream, 9, 4), 0u) << "uncompressed size, high word: a real size, not all ones";

  const auto repacked = boardfv::LzmaDecompress(stream, 64u << 20);
  ASSERT_EQ(repacked.size(), 0x4004u);
  EXPECT_EQ(Find(repacked, kBoardDxeName), 4u + 0x78) << "BoardDxe in the inner volume's free space";
  EXPECT_EQ(repacked[4 + 0x78 + 18], 0x07) << "a DRIVER";
  EXPECT_EQ(repacked[4 + 0x78 + 24 + 3], 0x13) << "first section: DXE depex";
  EXPECT_EQ(Little(repacked, 4 + 0x78 + 24 + 4, 2), 0x0806u) << "TRUE END";
}

TEST(CompressedVolume, RefusesAnImageWithoutTheNamedVolume) {
  auto volume = fvtest::EmptyVolume(0x2000, 3, fvtest::kOuterVolumeName);
  // ffs refuses an image that is not BoardDxe's kind, so the file is built bare.
  boardfv::Insertion insertion{GuidOf(fvtest::kInnerVolumeName), std::nullopt,
                               boardfv::BuildFile({GuidOf(fvtest::kOuterVolumeName), 0x07, 0}, {})};
  EXPECT_THAT([&] { boardfv::InsertIntoImage(volume, std::span(&insertion, 1)); },
              testing::ThrowsMessage<std::runtime_error>(
                  testing::HasSubstr("no volume named 44332211-6655-8877-99AA-BBCCDDEEF001")));
}

}  // namespace
