// Our PE32/PE32+/TE parser on synthetic images: the fields it reads, and the
// errors it reports for damaged files instead of reading out of bounds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/image/byte_reader.h"
#include "sim/image/image_contents.h"
#include "sim/image/image_headers.h"
#include "test_image_builder.h"

namespace {

namespace pe = boardimage::pe;
using imagetest::ExecuteInPlaceImage;
using imagetest::TestImage;
using testing::HasSubstr;

std::string ParseError(const std::vector<std::uint8_t> &file) {
  try {
    boardimage::ParseImage(file);
  } catch (const boardimage::ImageFormatError &error) {
    return error.what();
  }
  ADD_FAILURE() << "the parser accepted the file";
  return {};
}

TEST(ImageParser, ReadsAPe32PlusDriver) {
  TestImage image;
  image.pe32Plus = true;
  image.machine = pe::kMachineX64;
  image.imageBase = 0x140000000;
  image.sectionAlignment = 4096;
  image.sections = {{".text", imagetest::kCode, std::vector<std::uint8_t>(100, 0xC3)},
                    {".data", imagetest::kWritableData, std::vector<std::uint8_t>(8, 1), 24}};
  const auto headers = boardimage::ParseImage(image.Build());

  EXPECT_EQ(headers.format, boardimage::ImageFormat::Pe32Plus);
  EXPECT_EQ(headers.machine, pe::kMachineX64);
  EXPECT_EQ(headers.imageBase, 0x140000000u);
  EXPECT_EQ(headers.sectionAlignment, 4096u);
  EXPECT_EQ(headers.fileAlignment, 32u);
  EXPECT_EQ(headers.entryPoint, 0x1000u);
  EXPECT_EQ(headers.sizeOfImage, 0x3000u);
  EXPECT_EQ(headers.directoryCount, 16u);
  ASSERT_EQ(headers.sections.size(), 2u);
  EXPECT_EQ(headers.sections[1].name, ".data");
  EXPECT_EQ(headers.sections[1].virtualAddress, 0x2000u);
  EXPECT_EQ(headers.sections[1].virtualSize, 24u);
  EXPECT_EQ(headers.sections[1].rawSize, 32u);
  EXPECT_EQ(headers.sections[1].Permissions(), "RW-");
  EXPECT_EQ(headers.sections[0].Permissions(), "R-X");
}

TEST(ImageParser, FindsFileDataByRvaOnlyInsideOneSection) {
  const TestImage image = ExecuteInPlaceImage();
  const auto headers = boardimage::ParseImage(image.Build());
  const std::uint32_t rdata = image.SectionRva(1);
  EXPECT_EQ(headers.FileOffsetOf(rdata + 4, 8), std::optional<std::uint64_t>(rdata + 4));
  EXPECT_EQ(headers.FileOffsetOf(rdata + 30, 4), std::nullopt);  // runs past the 32 file bytes
  EXPECT_EQ(headers.FileOffsetOf(0x10, 4), std::nullopt);        // headers, no section
}

TEST(ImageParser, ReadsRelocationsAndSkipsPadding) {
  TestImage image = ExecuteInPlaceImage();
  image.sections[2].data = imagetest::RelocationBlock(0x1000, pe::kRelocationHighLow, {0x10, 0x24, 0x30});
  image.directories[pe::kDirectoryBaseRelocation].size = static_cast<std::uint32_t>(image.sections[2].data.size());
  const auto file = image.Build();
  const auto relocations = boardimage::ReadBaseRelocations(boardimage::ParseImage(file), file);
  ASSERT_EQ(relocations.size(), 3u);  // the fourth entry of the block is padding
  EXPECT_EQ(relocations[1].rva, 0x1024u);
  EXPECT_EQ(relocations[2].type, pe::kRelocationHighLow);
}

TEST(ImageParserReports, UnknownSignature) { EXPECT_THAT(ParseError({'E', 'L', 'F', 0}), HasSubstr("neither \"MZ\"")); }

TEST(ImageParserReports, MissingPeSignature) {
  auto file = ExecuteInPlaceImage().Build();
  file[0x78] = 'X';
  EXPECT_THAT(ParseError(file), HasSubstr("no PE signature at offset 0x78"));
}

TEST(ImageParserReports, UnknownOptionalHeaderMagic) {
  auto file = ExecuteInPlaceImage().Build();
  boardimage::PutU16(file, 0x78 + 24, 0x107);
  EXPECT_THAT(ParseError(file), HasSubstr("Magic 0x107"));
}

TEST(ImageParserReports, TooManyDataDirectories) {
  TestImage image = ExecuteInPlaceImage();
  image.directoryCount = 17;
  EXPECT_THAT(ParseError(image.Build()), HasSubstr("NumberOfRvaAndSizes is 17"));
}

TEST(ImageParserReports, TruncatedSectionTable) {
  auto file = ExecuteInPlaceImage().Build();
  file.resize(0x170 + 50);
  EXPECT_THAT(ParseError(file), HasSubstr("section header 2"));
}

TEST(ImageParserReports, SectionDataBeyondTheEndOfTheFile) {
  auto file = ExecuteInPlaceImage().Build();
  file.resize(file.size() - 1);
  EXPECT_THAT(ParseError(file), HasSubstr("data of section .reloc"));
}

TEST(ImageParserReports, RelocationDirectoryOutsideTheSections) {
  TestImage image = ExecuteInPlaceImage();
  image.directories[pe::kDirectoryBaseRelocation].rva = 0x8000;
  const auto file = image.Build();
  EXPECT_THROW(boardimage::ReadBaseRelocations(boardimage::ParseImage(file), file), boardimage::ImageFormatError);
}

}  // namespace
