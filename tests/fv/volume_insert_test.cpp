// Inserting files into hand-made volumes: where they land, their checksums
// and state, alignment pads, and the volumes and files the packer refuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "hand_made_volume.h"
#include "tools/fv/ffs_file.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/sections.h"
#include "tools/fv/volume.h"

namespace {

using fvtest::Little;
using fvtest::Sum8;
using testing::HasSubstr;

constexpr fvtest::GuidBytes kFileName = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                         0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10};

// A DRIVER file whose one raw section holds `dataSize` bytes.
std::vector<std::uint8_t> DriverFile(std::uint8_t attributes, std::size_t dataSize) {
  std::vector<std::uint8_t> data(dataSize);
  for (std::size_t i = 0; i < dataSize; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
  std::vector<std::uint8_t> sections;
  boardfv::AppendSection(sections, 0x19, data);
  boardfv::Guid name;
  std::copy(kFileName.begin(), kFileName.end(), name.bytes.begin());
  return boardfv::BuildFile({name, 0x07, attributes}, sections);
}

std::string RefusalOf(std::vector<std::uint8_t> &volume, const std::vector<std::uint8_t> &file) {
  try {
    boardfv::InsertFile(volume, file, std::nullopt, "test volume");
  } catch (const boardfv::FvError &error) {
    return error.what();
  }
  return "(inserted)";
}

TEST(VolumeInsert, FileLandsAfterTheLastOneWithChecksumsAndState) {
  auto volume = fvtest::EmptyVolume(0x2000, 3, fvtest::kInnerVolumeName);
  const std::vector<std::uint8_t> existing(13, 0x5A);
  fvtest::PutFile(volume, 0x78, fvtest::kOuterVolumeName, 0x02, existing);  // ends at 0x9D

  const auto offset = boardfv::InsertFile(volume, DriverFile(0x40, 100), std::nullopt, "test volume");

  EXPECT_EQ(offset, 0xA0u);
  const auto file = std::span(volume).subspan(0xA0, 128);
  EXPECT_TRUE(std::equal(kFileName.begin(), kFileName.end(), file.begin()));
  EXPECT_EQ(Little(file, 20, 3), 128u);
  EXPECT_EQ(file[18], 0x07);
  EXPECT_EQ(file[23], 0xF8) << "header and data valid, stored inverted for erase polarity 1";
  EXPECT_EQ(static_cast<std::uint8_t>(Sum8(file.first(24)) - file[17] - file[23]), 0) << "header checksum";
  EXPECT_EQ(Sum8(file.subspan(24)) + file[17] & 0xFF, 0) << "data checksum";
  EXPECT_EQ(volume[0xA0 + 128], 0xFF) << "the free space after it stays erased";
}

TEST(VolumeInsert, AlignedDataGetsAPadFileBefore) {
  auto volume = fvtest::EmptyVolume(0x2000, 7, fvtest::kInnerVolumeName);
  // Attributes 0x10: data aligned to 128 bytes. Free space starts at 0x78,
  // whose data (0x90) is not aligned; the next aligned data is at 0x100.
  const auto offset = boardfv::InsertFile(volume, DriverFile(0x10, 40), std::nullopt, "test volume");

  EXPECT_EQ(offset + 24, 0x100u);
  EXPECT_EQ(volume[0x78 + 18], 0xF0) << "a pad file fills the gap";
  EXPECT_EQ(Little(volume, 0x78 + 20, 3), 0xE8 - 0x78);
  EXPECT_EQ(static_cast<std::uint8_t>(Sum8(std::span(volume).subspan(0x78, 24)) - volume[0x78 + 23] - 0xAA), 0);
  EXPECT_EQ(volume[0x78 + 17], 0xAA) << "a pad file carries no data checksum";
}

TEST(VolumeInsert, RefusesWhatItCannotPlace) {
  auto volume = fvtest::EmptyVolume(0x1000, 3, fvtest::kInnerVolumeName);
  boardfv::InsertFile(volume, DriverFile(0x40, 16), std::nullopt, "test volume");
  EXPECT_THAT(RefusalOf(volume, DriverFile(0x40, 16)), HasSubstr("is already there, at offset 0x78"));

  auto small = fvtest::EmptyVolume(0x1000, 3, fvtest::kInnerVolumeName);
  EXPECT_THAT(RefusalOf(small, DriverFile(0x40, 0x1000)), HasSubstr("no room for file"));

  auto loose = fvtest::EmptyVolume(0x1000, 3, fvtest::kInnerVolumeName);
  EXPECT_THAT(RefusalOf(loose, DriverFile(0x10, 16)), HasSubstr("more than the volume's own alignment 0x8"));

  auto damagedHeader = fvtest::EmptyVolume(0x1000, 3, fvtest::kInnerVolumeName);
  damagedHeader[0x38] ^= 1;  // the block map
  EXPECT_THAT(RefusalOf(damagedHeader, DriverFile(0x40, 16)),
              HasSubstr("volume header (0x48 bytes) has a wrong checksum"));

  auto damagedFile = fvtest::EmptyVolume(0x1000, 3, fvtest::kInnerVolumeName);
  fvtest::PutFile(damagedFile, 0x78, fvtest::kOuterVolumeName, 0x02, std::vector<std::uint8_t>(8, 1));
  damagedFile[0x78 + 18] = 0x07;  // the type changes, the header checksum does not
  EXPECT_THAT(RefusalOf(damagedFile, DriverFile(0x40, 16)),
              HasSubstr("file at offset 0x78: file A4A3A2A1-B2B1-C2C1-D1D2-D3D4D5D6D7D8 has a wrong header checksum"));

  auto dirtyFreeSpace = fvtest::EmptyVolume(0x1000, 3, fvtest::kInnerVolumeName);
  dirtyFreeSpace[0x800] = 0;
  EXPECT_THAT(RefusalOf(dirtyFreeSpace, DriverFile(0x40, 16)),
              HasSubstr("free space from offset 0x78 holds bytes that are not erased"));
}

}  // namespace
