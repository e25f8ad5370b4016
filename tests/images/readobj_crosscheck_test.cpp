// Our parser against llvm-readobj on the linked PE images: both must read the
// same headers and section tables, so a parser mistake cannot hide a wrong
// image from the other image checks.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "built_images.h"
#include "sim/image/image_headers.h"

namespace {

// The numbers llvm-readobj prints for one image.
struct ReadobjView {
  std::map<std::string, std::uint64_t> fileHeader;
  std::map<std::string, std::uint64_t> optionalHeader;
  std::vector<std::string> sectionNames;
  std::vector<std::map<std::string, std::uint64_t>> sections;
};

// "IMAGE_FILE_MACHINE_AMD64 (0x8664)" -> 0x8664; "0x1000" -> 4096; "32" -> 32.
std::optional<std::uint64_t> Number(const std::string &value) {
  static const std::regex inParentheses(R"(\((0x[0-9A-Fa-f]+)\)\s*$)");
  static const std::regex plain(R"(^(0x[0-9A-Fa-f]+|[0-9]+)$)");
  std::smatch match;
  if (std::regex_search(value, match, inParentheses) || std::regex_match(value, match, plain)) {
    return std::stoull(match[1], nullptr, 0);
  }
  return std::nullopt;
}

ReadobjView ReadWithReadobj(const std::filesystem::path &image) {
  const auto result =
      imagetest::RunCommand(imagetest::LlvmReadobj() + " --file-headers --sections '" + image.string() + "'");
  EXPECT_EQ(result.exitStatus, 0) << result.output;
  static const std::regex field(R"(^\s*([A-Za-z]+)(?: \[)?:? (.*)$)");
  ReadobjView view;
  std::map<std::string, std::uint64_t> *block = nullptr;
  std::istringstream lines(result.output);
  std::string line;
  std::smatch match;
  while (std::getline(lines, line)) {
    if (line == "ImageFileHeader {") {
      block = &view.fileHeader;
    } else if (line == "ImageOptionalHeader {") {
      block = &view.optionalHeader;
    } else if (line.find("Section {") != std::string::npos) {
      view.sections.emplace_back();
      block = &view.sections.back();
    } else if (line == "DOSHeader {") {
      block = nullptr;
    } else if (block != nullptr && std::regex_match(line, match, field)) {
      const std::string key = match[1];
      if (key == "Name" && !view.sections.empty() && block == &view.sections.back()) {
        const std::string value = match[2];
        view.sectionNames.push_back(value.substr(0, value.find(" ")));
      }
      if (const auto number = Number(match[2]); number && !block->contains(key)) (*block)[key] = *number;
    }
  }
  return view;
}

class ReadobjCrossCheck : public testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    if (imagetest::LlvmReadobj().empty()) GTEST_SKIP() << "llvm-readobj was not found when the build was configured";
  }
};

TEST_P(ReadobjCrossCheck, ReadsTheSameHeadersAndSections) {
  const auto path = imagetest::FirmwareDir() / GetParam();
  const auto file = imagetest::ReadBuiltFile(GetParam());
  const auto ours = boardimage::ParseImage(file);
  const ReadobjView theirs = ReadWithReadobj(path);

  EXPECT_EQ(theirs.fileHeader.at("Machine"), ours.machine);
  EXPECT_EQ(theirs.fileHeader.at("SectionCount"), ours.sections.size());
  EXPECT_EQ(theirs.fileHeader.at("Characteristics"), ours.fileCharacteristics);
  EXPECT_EQ(theirs.optionalHeader.at("Magic"), ours.format == boardimage::ImageFormat::Pe32Plus ? 0x20Bu : 0x10Bu);
  EXPECT_EQ(theirs.optionalHeader.at("AddressOfEntryPoint"), ours.entryPoint);
  EXPECT_EQ(theirs.optionalHeader.at("BaseOfCode"), ours.baseOfCode);
  EXPECT_EQ(theirs.optionalHeader.at("ImageBase"), ours.imageBase);
  EXPECT_EQ(theirs.optionalHeader.at("SectionAlignment"), ours.sectionAlignment);
  EXPECT_EQ(theirs.optionalHeader.at("FileAlignment"), ours.fileAlignment);
  EXPECT_EQ(theirs.optionalHeader.at("SizeOfImage"), ours.sizeOfImage);
  EXPECT_EQ(theirs.optionalHeader.at("SizeOfHeaders"), ours.sizeOfHeaders);
  EXPECT_EQ(theirs.optionalHeader.at("Subsystem"), ours.subsystem);
  EXPECT_EQ(theirs.optionalHeader.at("Characteristics"), ours.dllCharacteristics);
  EXPECT_EQ(theirs.optionalHeader.at("NumberOfRvaAndSize"), ours.directoryCount);
  EXPECT_EQ(theirs.optionalHeader.at("BaseRelocationTableRVA"), ours.directories[5].rva);
  EXPECT_EQ(theirs.optionalHeader.at("BaseRelocationTableSize"), ours.directories[5].size);
  EXPECT_EQ(theirs.optionalHeader.at("DebugRVA"), ours.directories[6].rva);
  EXPECT_EQ(theirs.optionalHeader.at("DebugSize"), ours.directories[6].size);

  ASSERT_EQ(theirs.sections.size(), ours.sections.size());
  ASSERT_EQ(theirs.sectionNames.size(), ours.sections.size());
  for (std::size_t i = 0; i < ours.sections.size(); ++i) {
    const auto &section = ours.sections[i];
    SCOPED_TRACE(section.name);
    EXPECT_EQ(theirs.sectionNames[i], section.name);
    EXPECT_EQ(theirs.sections[i].at("VirtualSize"), section.virtualSize);
    EXPECT_EQ(theirs.sections[i].at("VirtualAddress"), section.virtualAddress);
    EXPECT_EQ(theirs.sections[i].at("RawDataSize"), section.rawSize);
    EXPECT_EQ(theirs.sections[i].at("PointerToRawData"), section.rawOffset);
    EXPECT_EQ(theirs.sections[i].at("Characteristics"), section.characteristics);
  }
}

// llvm-readobj does not read TE images; BoardPei.te is checked against the
// PE32 image it was converted from (firmware_images_test.cpp).
INSTANTIATE_TEST_SUITE_P(Firmware, ReadobjCrossCheck, testing::Values("BoardDxe.efi", "ia32/BoardPei.pe32"),
                         [](const auto &info) {
                           return std::string(info.param).find("Dxe") != std::string::npos ? "BoardDxe" : "BoardPei";
                         });

}  // namespace
