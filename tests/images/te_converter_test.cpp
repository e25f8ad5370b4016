// The TE converter on synthetic images: what a converted image holds, and
// each reason it refuses an image that could not execute in place.
#include "sim/image/te_converter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "sim/image/byte_reader.h"
#include "sim/image/image_contents.h"
#include "test_image_builder.h"

namespace {

namespace pe = boardimage::pe;
using imagetest::ExecuteInPlaceImage;
using imagetest::TestImage;
using testing::HasSubstr;

// The message of the TeConversionError the conversion throws; fails the test if none.
std::string Refusal(const TestImage &image, const boardimage::TeOptions &options = {}) {
  try {
    boardimage::ConvertToTe(image.Build(), options);
  } catch (const boardimage::TeConversionError &error) {
    return error.what();
  }
  ADD_FAILURE() << "the converter accepted the image";
  return {};
}

TEST(TeConversion, KeepsEverythingFromTheSectionTableOnBehindTheTeHeader) {
  const TestImage image = ExecuteInPlaceImage();
  const auto pe32 = image.Build();
  const auto te = boardimage::ConvertToTe(pe32);

  const std::uint32_t stripped = image.SectionTableOffset();
  ASSERT_EQ(te.size(), pe32.size() - stripped + pe::kTeHeaderSize);
  EXPECT_TRUE(std::equal(te.begin() + pe::kTeHeaderSize, te.end(), pe32.begin() + stripped));

  const boardimage::ByteReader header(te);
  EXPECT_EQ(header.U16(0, "Signature"), 0x5A56);  // "VZ"
  EXPECT_EQ(te[0], 'V');
  EXPECT_EQ(te[1], 'Z');
  EXPECT_EQ(header.U16(2, "Machine"), pe::kMachineI386);
  EXPECT_EQ(header.U8(4, "NumberOfSections"), 3);
  EXPECT_EQ(header.U8(5, "Subsystem"), pe::kSubsystemEfiBootServiceDriver);
  EXPECT_EQ(header.U16(6, "StrippedSize"), stripped);
  EXPECT_EQ(header.U32(8, "AddressOfEntryPoint"), image.SectionRva(0));
  EXPECT_EQ(header.U32(12, "BaseOfCode"), image.SectionRva(0));
  EXPECT_EQ(header.U64(16, "ImageBase"), image.imageBase);
  EXPECT_EQ(header.U32(24, "relocation RVA"), image.SectionRva(2));
  EXPECT_EQ(header.U32(28, "relocation size"), image.sections[2].data.size());
  EXPECT_EQ(header.U32(32, "debug RVA"), 0u);
}

TEST(TeConversion, ConvertedImageParsesWithTheSameSectionsAndRelocations) {
  const auto pe32 = ExecuteInPlaceImage().Build();
  const auto te = boardimage::ConvertToTe(pe32);
  const auto peHeaders = boardimage::ParseImage(pe32);
  const auto teHeaders = boardimage::ParseImage(te);

  EXPECT_EQ(teHeaders.format, boardimage::ImageFormat::Te);
  ASSERT_EQ(teHeaders.sections.size(), peHeaders.sections.size());
  for (std::size_t i = 0; i < peHeaders.sections.size(); ++i) {
    const auto &section = peHeaders.sections[i];
    EXPECT_EQ(teHeaders.sections[i].name, section.name);
    const auto peData = std::span(pe32).subspan(peHeaders.FileOffsetOfSection(section), section.rawSize);
    const auto teData = std::span(te).subspan(teHeaders.FileOffsetOfSection(teHeaders.sections[i]), section.rawSize);
    EXPECT_TRUE(std::ranges::equal(peData, teData)) << section.name;
  }
  const auto relocations = boardimage::ReadBaseRelocations(teHeaders, te);
  ASSERT_EQ(relocations.size(), 1u);
  EXPECT_EQ(relocations[0].rva, peHeaders.sections[0].virtualAddress + 4);
  EXPECT_EQ(relocations[0].type, pe::kRelocationHighLow);
}

TEST(TeConversion, AcceptsTheFlashAddressTheImageWasLinkedFor) {
  const TestImage image = ExecuteInPlaceImage();
  const auto flash = static_cast<std::uint32_t>(image.imageBase + image.SectionTableOffset() - pe::kTeHeaderSize);
  EXPECT_NO_THROW(boardimage::ConvertToTe(image.Build(), {.flashAddress = flash}));

  const auto message = Refusal(image, {.flashAddress = flash + 0x20});
  EXPECT_THAT(message, HasSubstr("would belong at " + boardimage::Hex(flash)));
  EXPECT_THAT(message, HasSubstr("link at ImageBase " + boardimage::Hex(image.imageBase + 0x20)));
}

TEST(TeConversionRefuses, WritableSection) {
  TestImage image = ExecuteInPlaceImage();
  image.sections.insert(image.sections.begin() + 2, {".data", imagetest::kWritableData, {1, 2, 3, 4}});
  image.directories[pe::kDirectoryBaseRelocation].rva = image.SectionRva(3);
  EXPECT_THAT(Refusal(image), HasSubstr("section .data is writable"));
}

TEST(TeConversionRefuses, ZeroInitialisedData) {
  TestImage image = ExecuteInPlaceImage();
  image.sections.push_back({".bss", pe::kSectionUninitializedData | pe::kSectionRead, {}, 64});
  EXPECT_THAT(Refusal(image), HasSubstr("section .bss needs 64 bytes in memory but has 0 in the file"));
}

TEST(TeConversionRefuses, SectionLongerInMemoryThanInTheFile) {
  TestImage image = ExecuteInPlaceImage();
  image.sections[1].virtualSize = 48;  // 16 bytes in the file, 32 after padding
  EXPECT_THAT(Refusal(image), HasSubstr("section .rdata needs 48 bytes in memory but has 32"));
}

TEST(TeConversionRefuses, SectionAlignmentOtherThanFileAlignment) {
  TestImage image = ExecuteInPlaceImage();
  image.sectionAlignment = 4096;
  EXPECT_THAT(Refusal(image), HasSubstr("SectionAlignment 0x1000 differs from FileAlignment 0x20"));
}

TEST(TeConversionRefuses, SectionWhoseFileOffsetIsNotItsRva) {
  TestImage image = ExecuteInPlaceImage();
  image.extraFilePadding = 32;
  EXPECT_THAT(Refusal(image), HasSubstr("section .text lies at file offset"));
}

TEST(TeConversionRefuses, MoreSectionsThanTheTeHeaderCounts) {
  TestImage image;
  for (int i = 0; i < 256; ++i) image.sections.push_back({".s", imagetest::kReadOnlyData, {1}});
  EXPECT_THAT(Refusal(image), HasSubstr("256 sections"));
}

TEST(TeConversionRefuses, SubsystemWiderThanEightBits) {
  TestImage image = ExecuteInPlaceImage();
  image.subsystem = 0x100;
  EXPECT_THAT(Refusal(image), HasSubstr("subsystem 256 does not fit"));
}

TEST(TeConversionRefuses, HeadersLongerThanStrippedSizeHolds) {
  TestImage image = ExecuteInPlaceImage();
  image.peHeaderOffset = 0x10000;
  EXPECT_THAT(Refusal(image), HasSubstr("StrippedSize holds at most 0xFFFF"));
}

TEST(TeConversionRefuses, DirectoriesATeImageCannotCarry) {
  TestImage image = ExecuteInPlaceImage();
  image.directories[pe::kDirectoryImport] = {image.SectionRva(1), 16};
  EXPECT_THAT(Refusal(image), HasSubstr("import table (data directory 1)"));
}

TEST(TeConversionRefuses, StrippedRelocations) {
  TestImage image = ExecuteInPlaceImage();
  image.fileCharacteristics |= pe::kFileRelocsStripped;
  EXPECT_THAT(Refusal(image), HasSubstr("without base relocations"));
}

// What an IA-32 core could not execute in place, or a firmware-volume tool
// could not rebase: each case changes one thing of an image that converts.
struct NotExecutableInPlace {
  const char *what;
  std::function<void(TestImage &, boardimage::TeOptions &)> change;
  const char *message;
};

const NotExecutableInPlace kNotExecutableInPlace[] = {
    {"x64 machine", [](TestImage &image, auto &) { image.machine = pe::kMachineX64; },
     "file header Machine is 0x8664 (x64)"},
    {"entry point in data", [](TestImage &image, auto &) { image.entryPoint = image.SectionRva(1) + 4; },
     "AddressOfEntryPoint 0x244 is not inside a code section (it lies in .rdata"},
    {"entry point beyond the sections", [](TestImage &image, auto &) { image.entryPoint = 0x10000; },
     "AddressOfEntryPoint 0x10000 is not inside a code section"},
    {"no code section", [](TestImage &image, auto &) { image.sections[0].characteristics = imagetest::kReadOnlyData; },
     "no code section"},
    {"64-bit relocation",
     [](TestImage &image, auto &) {
       image.sections[2].data = imagetest::RelocationBlock(image.SectionRva(0), pe::kRelocationDir64, {4});
     },
     "relocation at RVA 0x204 has type 10"},
    {"relocation patching beyond the sections",
     [](TestImage &image, auto &) {
       image.sections[2].data = imagetest::RelocationBlock(image.SectionRva(0), pe::kRelocationHighLow, {0xF00});
     },
     "relocation at RVA 0x1100 patches 4 bytes that are not inside one section's data"},
    {"relocation patching the last 2 bytes of the code and 2 past them",
     [](TestImage &image, auto &) {
       image.sections[2].data = imagetest::RelocationBlock(image.SectionRva(0), pe::kRelocationHighLow, {62});
     },
     "relocation at RVA 0x23E patches 4 bytes"},
    {"no relocation directory", [](TestImage &image, auto &) { image.directories[pe::kDirectoryBaseRelocation] = {}; },
     "no base relocation directory"},
    {"image reaching beyond 4 GiB", [](TestImage &image, auto &) { image.imageBase = 0xFFFFFF00; },
     "ImageBase 0xFFFFFF00 with SizeOfImage 0x280 reaches beyond 4 GiB"},
    {"flash address too close to 4 GiB",
     [](TestImage &, boardimage::TeOptions &options) { options.flashAddress = 0xFFFFFF00; },
     "TE image at flash address 0xFFFFFF00 would end at 0x100000038"},
    {"flash address below the stripped headers",
     [](TestImage &, boardimage::TeOptions &options) { options.flashAddress = 0x10; }, "no ImageBase puts it there"},
};

TEST(TeConversionRefuses, WhatACoreCannotExecuteInPlace) {
  for (const auto &[what, change, message] : kNotExecutableInPlace) {
    SCOPED_TRACE(what);
    TestImage image = ExecuteInPlaceImage();
    boardimage::TeOptions options;
    change(image, options);
    EXPECT_THAT(Refusal(image, options), HasSubstr(message));
  }
}

TEST(TeConversionRefuses, FlashAddressesThatAreNot32BitAddresses) {
  EXPECT_EQ(boardimage::ParseFlashAddress("0xFFFE0148"), 0xFFFE0148u);
  EXPECT_EQ(boardimage::ParseFlashAddress("4294967295"), 0xFFFFFFFFu);
  for (const char *text : {"-1", "0x100000000", "4294967296", "18446744073709551615", "+16", "0x", "", "12abc"}) {
    SCOPED_TRACE(text);
    try {
      boardimage::ParseFlashAddress(text);
      ADD_FAILURE() << "accepted";
    } catch (const boardimage::TeConversionError &error) {
      EXPECT_THAT(error.what(), HasSubstr("flash address '" + std::string(text) + "' is not an address below 4 GiB"));
    }
  }
}

TEST(TeConversionRefuses, ATeImage) {
  const auto te = boardimage::ConvertToTe(ExecuteInPlaceImage().Build());
  EXPECT_THROW(boardimage::ConvertToTe(te), boardimage::TeConversionError);
}

TEST(TeConversionRefuses, DamagedRelocationTable) {
  TestImage image = ExecuteInPlaceImage();
  boardimage::PutU32(image.sections[2].data, 4, 6);  // a block smaller than its own header
  EXPECT_THROW(boardimage::ConvertToTe(image.Build()), boardimage::ImageFormatError);
}

}  // namespace
