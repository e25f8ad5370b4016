// The platform package the build writes: the check refuses each kind of
// drift between KrvBoardPkg.dec, the INFs, the images and the depexes; the
// firmware files and BoardDxe's PE header carry the version of VERSION.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tools/files/input_file.h"
#include "tools/fv/board_modules.h"
#include "tools/fv/package_check.h"
#include "tools/fv/version_section.h"

namespace {

std::string Text(const std::string &name) {
  const auto bytes = boardfiles::ReadInputFile(BOARD_FIRMWARE_DIR "/" + name);
  return {bytes.begin(), bytes.end()};
}

struct BuiltPackage {
  std::string dec = Text("KrvBoardPkg.dec");
  std::vector<boardfv::ModuleFiles> modules = {
      {&boardfv::kBoardPei, Text("BoardPei.inf"), boardfiles::ReadInputFile(BOARD_FIRMWARE_DIR "/BoardPei.te"),
       boardfiles::ReadInputFile(BOARD_FIRMWARE_DIR "/BoardPei.depex")},
      {&boardfv::kBoardDxe, Text("BoardDxe.inf"), boardfiles::ReadInputFile(BOARD_FIRMWARE_DIR "/BoardDxe.efi"),
       boardfiles::ReadInputFile(BOARD_FIRMWARE_DIR "/BoardDxe.depex")}};
};

void Replace(std::string &text, const std::string &from, const std::string &to) {
  const auto at = text.find(from);
  ASSERT_NE(at, std::string::npos) << "'" << from << "' is not in the file";
  text.replace(at, from.size(), to);
}

TEST(PlatformPackage, TheBuiltFilesDeclareTheTokensTheModulesUse) {
  const BuiltPackage built;
  EXPECT_THAT(boardfv::CheckPlatformPackage(built.dec, built.modules), testing::IsEmpty());
  // The token numbers, types and sizes the firmware passes to the PCD services.
  EXPECT_THAT(built.dec, testing::HasSubstr(".PcdBoardProductName|L\"KRV7-DM3TQA\"|VOID*|0x00000005\n"));
  EXPECT_THAT(built.modules[0].inf, testing::HasSubstr("## PRODUCES ## VOID* 24 bytes, token 0x5\n"));
  for (const char *token : {"0x8\n", "0x18C\n", "0x18D\n", "0x18E\n"})
    EXPECT_THAT(built.modules[1].inf, testing::HasSubstr(std::string("## UINT32 4 bytes, token ") + token));
  EXPECT_THAT(built.modules[1].inf, testing::HasSubstr("gPcdProtocolGuid"));
}

TEST(PlatformPackage, TheCheckRefusesEachDrift) {
  struct Case {
    const char *what;
    int file;  // -1 the .dec, else a module
    std::string from, to;
    const char *problem;
  };
  const Case cases[] = {
      {"a GUID value unlike the firmware's", -1, "{0xA0E5A45F, 0x5374", "{0xA0E5A45E, 0x5374",
       "gBoardHookPpiGuid is A0E5A45E-"},
      {"a PCD token unlike the module's", 1, "token 0x18D", "token 0x18F", "PcdLanBridgeSecondList1 says"},
      {"a VOID* default shorter than the name", -1, "L\"KRV7-DM3TQA\"", "L\"KRV7\"", "declared as VOID* of 10 bytes"},
      {"a protocol the image uses left out", 1, "  gSetupStringProtocolGuid ", "# ",
       "uses gSetupStringProtocolGuid (41EADC00-8DB2-4BFE-B0EA-CBAAE7F4D31B)"},
      {"an entry without its usage", 0, "## PRODUCES ## installed", "# installed", "usage '' is none of"},
      {"a PPI declared as a protocol", 0, "[Ppis]", "[Protocols]", "declared in [Protocols] of neither"},
      {"an entry outside any section", -1, "## @file", "stray\n## @file", "'stray' outside any section"},
      {"a depex expression unlike the depex file", 0, "[Depex]\n  gPcdPpiGuid", "[Depex]\n  TRUE",
       "BoardPei.depex does not hold"},
      {"a file GUID unlike the module's", 1, "215FD844-", "215FD845-", "FILE_GUID is 215FD845-"},
  };
  for (const auto &c : cases) {
    BuiltPackage built;
    Replace(c.file < 0 ? built.dec : built.modules[static_cast<std::size_t>(c.file)].inf, c.from, c.to);
    EXPECT_THAT(boardfv::CheckPlatformPackage(built.dec, built.modules),
                testing::Contains(testing::HasSubstr(c.problem)))
        << c.what;
  }
}

TEST(Version, FirmwareFilesAndTheDriversHeaderCarryTheVersionFile) {
  std::ifstream file(BOARD_VERSION_FILE);
  std::stringstream text;
  text << file.rdbuf();
  std::smatch version, build;
  const std::string contents = text.str();
  ASSERT_TRUE(std::regex_search(contents, version, std::regex("version (\\d+)\\.(\\d+)\\.(\\d+)\n")));
  ASSERT_TRUE(std::regex_search(contents, build, std::regex("build (\\d+)\n")));
  for (const char *name : {"BoardPei.ffs", "BoardDxe.ffs"}) {
    const auto ffs = boardfiles::ReadInputFile(BOARD_FIRMWARE_DIR "/" + std::string(name));
    const auto carried = boardfv::ReadFileVersion(ffs, name);
    ASSERT_TRUE(carried.has_value()) << name << " has no version section";
    EXPECT_EQ(carried->text, version[1].str() + "." + version[2].str() + "." + version[3].str()) << name;
    EXPECT_EQ(carried->build, std::stoi(build[1].str())) << name;
  }
  // MajorImageVersion and MinorImageVersion: optional header offsets 44 and 46.
  const auto efi = boardfiles::ReadInputFile(BOARD_FIRMWARE_DIR "/BoardDxe.efi");
  const std::size_t optional = (efi[0x3C] | efi[0x3D] << 8) + 24u;  // e_lfanew, then the file header
  EXPECT_EQ(efi[optional + 44] | efi[optional + 45] << 8, std::stoi(version[1].str()));
  EXPECT_EQ(efi[optional + 46] | efi[optional + 47] << 8, std::stoi(version[2].str()));
}

}  // namespace
