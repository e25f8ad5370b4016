// image_size on damaged TE images: a section without file data has no file
// offset to show, and no figure wraps below zero.
#include "sim/image/size_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>

#include "sim/image/byte_reader.h"
#include "sim/image/te_converter.h"
#include "tests/images/test_image_builder.h"

namespace {

using ::testing::HasSubstr;

// A TE section header's fields, after the 40-byte TE header.
constexpr std::size_t SectionField(std::size_t index, std::size_t offset) { return 40 + index * 40 + offset; }
constexpr std::size_t kRawSize = 16;
constexpr std::size_t kRawOffset = 20;

struct SizeCase {
  const char *what;
  std::function<void(std::vector<std::uint8_t> &)> damage;
  const char *line;  // a line the report must hold
};

TEST(SizeReport, SectionsWithoutFileDataShowNoWrappedFigures) {
  const auto te = boardimage::ConvertToTe(imagetest::ExecuteInPlaceImage().Build());
  const SizeCase cases[] = {
      {"as built", [](auto &) {}, "(headers)"},
      {"read-only data with no raw bytes at raw offset 0 (inside the stripped headers)",
       [](auto &file) {
         boardimage::PutU32(file, SectionField(1, kRawSize), 0);
         boardimage::PutU32(file, SectionField(1, kRawOffset), 0);
       },
       ".rdata          0x240         16            -          0"},
      {"no section with raw bytes",
       [](auto &file) {
         for (std::size_t i = 0; i < 3; ++i) {
           boardimage::PutU32(file, SectionField(i, kRawSize), 0);
           boardimage::PutU32(file, SectionField(i, kRawOffset), 0);
         }
       },
       ".text           0x200         64            -          0"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    auto file = te;
    c.damage(file);
    const auto report = boardimage::FormatSizeReport("damaged.te", file, boardimage::ParseImage(file), std::nullopt);
    EXPECT_THAT(report, HasSubstr(c.line)) << report;
    // Every figure is at most the file's size (or an RVA of this small image).
    static const std::regex number(R"(\b(0x[0-9A-F]+|[0-9]+)\b)");
    for (auto it = std::sregex_iterator(report.begin(), report.end(), number); it != std::sregex_iterator(); ++it)
      EXPECT_LE(std::stoull(it->str(), nullptr, 0), 0x1000u) << it->str() << " in\n" << report;
  }
}

}  // namespace
