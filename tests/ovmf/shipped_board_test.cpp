// BoardDxe on OVMF's DXE core with the shipped board's registers standing in
// (the probe application aliases the register pages onto RAM first): the
// x16 riser and four-controller paths on a real core.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot_outputs.h"

namespace ovmf::testing {
namespace {

using ::testing::ElementsAre;

const std::vector<std::string> &Report() { return RecordedBoot(Registers::kShippedBoard).dxeReport; }

TEST(OvmfShippedBoard, RegisterPagesAreInPlaceBeforeTheServicesArrive) {
  ASSERT_GE(Report().size(), 2u);
  EXPECT_EQ(Report()[1], "stand-in registers: 0x0E pages mapped");
  // Every register read hit a stand-in page: none reached QEMU's empty windows
  // (only BoardPei's two lane writes did).
  EXPECT_THAT(LinesStartingWith(RecordedBoot(Registers::kShippedBoard).unassignedAccesses,
                                {"Invalid read at addr 0xE", "Invalid read at addr 0xD", "Invalid read at addr 0xFD",
                                 "Invalid write at addr 0xE"}),
              ElementsAre());
}

TEST(OvmfShippedBoard, X16RiserTextsPromptThenHelp) {
  EXPECT_THAT(
      LinesStartingWith(Report(), {"call SETUP."}),
      ElementsAre(
          "call SETUP.SetString(\"Setup\", 0x1A2B, \"VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM\") = EFI_SUCCESS",
          "call SETUP.SetString(\"Setup\", 0x1A2C, \"Enable or Disable VKT-PM2W-Q37 OPROM option.\") = EFI_SUCCESS"));
}

TEST(OvmfShippedBoard, X16RiserDeletesInstance3Then1AndFreesEachCopy) {
  EXPECT_THAT(LinesStartingWith(Report(), {"call SMBIOS.", "seen on entry", "call BS.FreePool"}),
              ElementsAre("call SMBIOS.ReadStructure(type 9, instance 3) = EFI_SUCCESS",
                          "seen on entry: buffer null, size 0x0000; handed out handle 0x0029",
                          "call SMBIOS.DeleteStructure(handle 0x0029) = EFI_SUCCESS",
                          "call BS.FreePool(SMBIOS copy of instance 0x03) = 0x0000000000000000",
                          "call SMBIOS.ReadStructure(type 9, instance 1) = EFI_SUCCESS",
                          "seen on entry: buffer null, size 0x0000; handed out handle 0x0027",
                          "call SMBIOS.DeleteStructure(handle 0x0027) = EFI_SUCCESS",
                          "call BS.FreePool(SMBIOS copy of instance 0x01) = 0x0000000000000000"));
}

TEST(OvmfShippedBoard, LanMacQueryListsOneThenThreeAddressesAndRestoresEachCommandRegister) {
  EXPECT_THAT(LinesStartingWith(Report(), {"member 4", "buffer", "out", "ethernet"}),
              ElementsAre("member 4 returns 0x0000000000000000",  //
                          "buffer A5 A5 A5 01 02 4B 52 56 37 01",
                          "out 03 02 4B 52 56 37 02 02 4B 52 56 37 03 02 4B 52 56 37 04",
                          "ethernet command registers: 0x06 0x06 0x06 0x06"));
}

}  // namespace
}  // namespace ovmf::testing
