// The firmware images this build produced, read with our own parser:
// BoardDxe.efi as the DXE core loads it, BoardPei.te as it executes in place
// from flash, and both within their flash budgets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "built_images.h"
#include "sim/image/byte_reader.h"
#include "sim/image/firmware_layout.h"
#include "sim/image/image_contents.h"
#include "sim/image/image_headers.h"

namespace {

namespace pe = boardimage::pe;
namespace layout = firmware_layout;
using boardimage::ImageFormat;
using boardimage::ImageHeaders;

struct LoadedImage {
  std::vector<std::uint8_t> file;
  ImageHeaders headers;

  explicit LoadedImage(const char *relativePath)
      : file(imagetest::ReadBuiltFile(relativePath)), headers(boardimage::ParseImage(file)) {}
};

bool Contains(const std::vector<std::uint8_t> &file, std::string_view text) {
  return std::search(file.begin(), file.end(), text.begin(), text.end()) != file.end();
}

// Every relocation must patch a pointer that lies inside the file data of a
// section and, at the link base, points into the image itself: a relocation
// anywhere else would corrupt the image when a loader or firmware-volume tool
// moves it.
void ExpectRelocationsPointIntoTheImage(const LoadedImage &image, std::uint8_t type, std::uint32_t imageSize) {
  const auto relocations = boardimage::ReadBaseRelocations(image.headers, image.file);
  ASSERT_FALSE(relocations.empty());
  const unsigned width = type == pe::kRelocationDir64 ? 8 : 4;
  const boardimage::ByteReader reader(image.file);
  for (const auto &relocation : relocations) {
    EXPECT_EQ(relocation.type, type) << "at RVA " << boardimage::Hex(relocation.rva);
    const auto offset = image.headers.FileOffsetOf(relocation.rva, width);
    ASSERT_TRUE(offset.has_value()) << "relocation at RVA " << boardimage::Hex(relocation.rva);
    const std::uint64_t target = width == 8 ? reader.U64(*offset, "pointer") : reader.U32(*offset, "pointer");
    EXPECT_GE(target, image.headers.imageBase) << "at RVA " << boardimage::Hex(relocation.rva);
    EXPECT_LT(target - image.headers.imageBase, imageSize) << "at RVA " << boardimage::Hex(relocation.rva);
  }
}

void ExpectOnlyRelocationAndDebugDirectories(const ImageHeaders &headers) {
  for (std::size_t i = 0; i < headers.directories.size(); ++i) {
    if (i == pe::kDirectoryBaseRelocation || i == pe::kDirectoryDebug) continue;
    EXPECT_EQ(headers.directories[i].size, 0u) << pe::kDirectoryNames[i];
  }
}

// Debug entries that name a PDB or carry a path would tie the bytes to the
// machine and folder of the build.
void ExpectNoHostPaths(const LoadedImage &image) {
  for (const auto &entry : boardimage::ReadDebugDirectory(image.headers, image.file)) {
    EXPECT_NE(entry.type, pe::kDebugCodeView);
    EXPECT_EQ(entry.sizeOfData, 0u) << "debug entry of type " << entry.type << " carries data";
  }
  EXPECT_FALSE(Contains(image.file, BOARD_SOURCE_DIR));
  EXPECT_FALSE(Contains(image.file, BOARD_BUILD_DIR));
  EXPECT_FALSE(Contains(image.file, ".pdb"));
}

void ExpectEntryPointInCode(const ImageHeaders &headers) {
  const auto *section = headers.SectionAt(headers.entryPoint);
  ASSERT_NE(section, nullptr) << "entry point " << boardimage::Hex(headers.entryPoint);
  EXPECT_TRUE(section->Executable()) << section->name;
}

class BoardDxeImage : public testing::Test {
 protected:
  LoadedImage dxe{"BoardDxe.efi"};
};

TEST_F(BoardDxeImage, IsAnX64BootServiceDriver) {
  EXPECT_EQ(dxe.headers.format, ImageFormat::Pe32Plus);
  EXPECT_EQ(dxe.headers.machine, pe::kMachineX64);
  EXPECT_EQ(dxe.headers.subsystem, pe::kSubsystemEfiBootServiceDriver);
  ExpectEntryPointInCode(dxe.headers);
  ExpectOnlyRelocationAndDebugDirectories(dxe.headers);
}

TEST_F(BoardDxeImage, CarriesBaseRelocationsForTheCoreToMoveIt) {
  EXPECT_EQ(dxe.headers.fileCharacteristics & pe::kFileRelocsStripped, 0);
  EXPECT_NE(dxe.headers.dllCharacteristics & pe::kDllDynamicBase, 0);
  ExpectRelocationsPointIntoTheImage(dxe, pe::kRelocationDir64, dxe.headers.sizeOfImage);
}

TEST_F(BoardDxeImage, KeepsCodeAndDataOnSeparatePages) {
  EXPECT_EQ(dxe.headers.sectionAlignment, 4096u);
  EXPECT_NE(dxe.headers.dllCharacteristics & pe::kDllNxCompat, 0);
  for (const auto &section : dxe.headers.sections) {
    EXPECT_EQ(section.virtualAddress % 4096, 0u) << section.name;
    EXPECT_FALSE(section.Writable() && section.Executable()) << section.name << " is writable and executable";
    EXPECT_TRUE(section.Readable()) << section.name;
  }
}

TEST_F(BoardDxeImage, HoldsNoPathOfTheBuildMachine) { ExpectNoHostPaths(dxe); }

TEST_F(BoardDxeImage, FitsItsFlashBudget) { EXPECT_LE(dxe.file.size(), layout::kBoardDxeBudget); }

class BoardPeiImage : public testing::Test {
 protected:
  LoadedImage te{"BoardPei.te"};
  LoadedImage pe32{"ia32/BoardPei.pe32"};
};

TEST_F(BoardPeiImage, IsATeImageOfTheIa32Module) {
  EXPECT_EQ(te.headers.format, ImageFormat::Te);
  EXPECT_EQ(te.file[0], 'V');
  EXPECT_EQ(te.file[1], 'Z');
  EXPECT_EQ(te.headers.machine, pe::kMachineI386);
  EXPECT_EQ(te.headers.subsystem, pe::kSubsystemEfiBootServiceDriver);
  ExpectEntryPointInCode(te.headers);
}

TEST_F(BoardPeiImage, WasLinkedAsPe32WithEqualSectionAndFileAlignment) {
  EXPECT_EQ(pe32.headers.format, ImageFormat::Pe32);
  EXPECT_EQ(pe32.headers.machine, pe::kMachineI386);
  EXPECT_EQ(pe32.headers.sectionAlignment, 32u);
  EXPECT_EQ(pe32.headers.fileAlignment, 32u);
  for (const auto &section : pe32.headers.sections) {
    EXPECT_EQ(section.rawOffset, section.virtualAddress) << section.name;
  }
  ExpectOnlyRelocationAndDebugDirectories(pe32.headers);
}

TEST_F(BoardPeiImage, IsTheLinkedImageBehindATeHeader) {
  const std::uint32_t stripped = pe32.headers.sectionTableOffset;
  EXPECT_EQ(te.headers.strippedSize, stripped);
  ASSERT_EQ(te.file.size(), pe32.file.size() - stripped + pe::kTeHeaderSize);
  EXPECT_TRUE(std::equal(te.file.begin() + pe::kTeHeaderSize, te.file.end(), pe32.file.begin() + stripped));
  EXPECT_EQ(te.headers.entryPoint, pe32.headers.entryPoint);
  EXPECT_EQ(te.headers.baseOfCode, pe32.headers.baseOfCode);
  EXPECT_EQ(te.headers.imageBase, pe32.headers.imageBase);
  EXPECT_EQ(te.headers.subsystem, pe32.headers.subsystem);
  for (std::size_t index : {pe::kDirectoryBaseRelocation, pe::kDirectoryDebug}) {
    EXPECT_EQ(te.headers.directories[index].rva, pe32.headers.directories[index].rva);
    EXPECT_EQ(te.headers.directories[index].size, pe32.headers.directories[index].size);
  }
}

// The TE header at the flash address puts every section at its linked
// address, so the module runs from flash without being moved.
TEST_F(BoardPeiImage, ExecutesInPlaceAtTheBoardsFlashAddress) {
  EXPECT_EQ(te.headers.imageBase, layout::kBoardPeiImageBase);
  EXPECT_EQ(te.headers.strippedSize, layout::kBoardPeiStrippedSize);
  EXPECT_EQ(te.headers.imageBase + te.headers.strippedSize - pe::kTeHeaderSize, layout::kBoardPeiFlashAddress);
  for (const auto &section : te.headers.sections) {
    EXPECT_EQ(layout::kBoardPeiFlashAddress + te.headers.FileOffsetOfSection(section),
              te.headers.imageBase + section.virtualAddress)
        << section.name;
  }
  EXPECT_LE(layout::kBoardPeiFlashAddress + te.file.size(),
            std::uint64_t{layout::kBootFlashBase} + layout::kBootFlashSize);
}

TEST_F(BoardPeiImage, NeedsNoWritesToItsOwnImage) {
  for (const auto &section : te.headers.sections) {
    EXPECT_FALSE(section.Writable()) << section.name;
    EXPECT_FALSE(section.HoldsUninitializedData()) << section.name;
    EXPECT_LE(section.virtualSize, section.rawSize) << section.name << " needs zero-initialised memory";
    EXPECT_NE(section.name, ".bss");
    EXPECT_NE(section.name, ".data");
  }
}

TEST_F(BoardPeiImage, KeepsItsRelocationsForRebasing) {
  EXPECT_EQ(pe32.headers.fileCharacteristics & pe::kFileRelocsStripped, 0);
  ExpectRelocationsPointIntoTheImage(te, pe::kRelocationHighLow, pe32.headers.sizeOfImage);
}

TEST_F(BoardPeiImage, HoldsNoPathOfTheBuildMachine) {
  ExpectNoHostPaths(te);
  ExpectNoHostPaths(pe32);
}

TEST_F(BoardPeiImage, FitsItsFlashBudget) { EXPECT_LE(te.file.size(), layout::kBoardPeiBudget); }

}  // namespace
