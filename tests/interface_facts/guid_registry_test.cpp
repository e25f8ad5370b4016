// Every GUID the modules install, locate or watch, written here in registry
// form as the interfaces are documented, and compared byte for byte with the
// firmware's definition in the UEFI layout (three little-endian fields, then
// eight bytes in order).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "board/guids.h"

namespace {

using GuidBytes = std::array<std::uint8_t, 16>;

// "6B588D7C-C72E-4A78-8858-77E1DA8FC7F7" in the layout the firmware stores.
GuidBytes FromRegistryForm(std::string_view text) {
  const auto hex = [&](std::size_t at) {
    return static_cast<std::uint8_t>(std::stoul(std::string(text.substr(at, 2)), nullptr, 16));
  };
  // Byte positions of the text's hex pairs, in stored order.
  constexpr std::array<std::size_t, 16> kPairs = {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34};
  GuidBytes bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = hex(kPairs[i]);
  return bytes;
}

GuidBytes StoredBytes(const EFI_GUID &guid) {
  GuidBytes bytes{};
  std::memcpy(bytes.data(), &guid, bytes.size());
  return bytes;
}

TEST(GuidRegistry, FirmwareGuidsAreTheDocumentedOnes) {
  const struct {
    const char *name;
    const EFI_GUID &firmware;
    const char *registry;
  } kGuids[] = {
      {"BOARD_HOOK_PROTOCOL", gBoardHookProtocolGuid, "6B588D7C-C72E-4A78-8858-77E1DA8FC7F7"},
      {"BOARD_HOOK_PPI", gBoardHookPpiGuid, "A0E5A45F-5374-46B3-B51E-D310B2C48AAE"},
      {"EFI_EVENT_GROUP_READY_TO_BOOT", gEfiEventReadyToBootGuid, "7CE88FB3-4BD7-4679-87A8-A8D8DEE50D2B"},
      {"SETUP_STRING_PROTOCOL", gSetupStringProtocolGuid, "41EADC00-8DB2-4BFE-B0EA-CBAAE7F4D31B"},
      {"SMBIOS_TABLE_PROTOCOL", gSmbiosTableProtocolGuid, "5E90A50D-6955-4A49-9032-DA3812F8E8E5"},
      {"PORT_LOCATOR_PROTOCOL", gPortLocatorProtocolGuid, "11B34006-D85B-4D0A-A290-D5A571310EF7"},
      {"PCD_PPI", gPcdPpiGuid, "06E81C58-4AD7-44BC-8390-F10265F72480"},
  };
  for (const auto &guid : kGuids) EXPECT_EQ(StoredBytes(guid.firmware), FromRegistryForm(guid.registry)) << guid.name;
}

TEST(GuidRegistry, RegistryFormIsStoredWithLittleEndianFields) {
  const GuidBytes expected = {0x7C, 0x8D, 0x58, 0x6B, 0x2E, 0xC7, 0x78, 0x4A,
                              0x88, 0x58, 0x77, 0xE1, 0xDA, 0x8F, 0xC7, 0xF7};
  EXPECT_EQ(FromRegistryForm("6B588D7C-C72E-4A78-8858-77E1DA8FC7F7"), expected);
}

}  // namespace
