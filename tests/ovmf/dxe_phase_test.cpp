// BoardDxe dispatched by OVMF's DXE core from the DXE volume, as the probe
// application saw it. QEMU has none of the board's registers (reads give 0),
// so this is the no-hardware path: unrecognised PCH, riser code 0.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot_outputs.h"

namespace ovmf::testing {
namespace {

using ::testing::ElementsAre;

constexpr auto kSuccess = "0x0000000000000000";

std::vector<std::string> Installation(const std::string &what) {
  return LinesFrom(RecordedBoot().dxeReport, "installing " + what, "installed " + what + " = " + kSuccess);
}

TEST(OvmfDxePhase, SetupStringHandlerLocatesTheServiceClosesItsEventAndSetsNoText) {
  EXPECT_THAT(Installation("SETUP_STRING_PROTOCOL"),
              ElementsAre("installing SETUP_STRING_PROTOCOL",
                          "call BS.LocateProtocol(SETUP_STRING_PROTOCOL, registration null) = 0x0000000000000000",
                          "call BS.CloseEvent(event) = 0x0000000000000000",
                          "installed SETUP_STRING_PROTOCOL = 0x0000000000000000"));
}

TEST(OvmfDxePhase, SmbiosHandlerClosesItsEventThenDeletesInstance3Then2) {
  EXPECT_THAT(Installation("SMBIOS_TABLE_PROTOCOL"),
              ElementsAre("installing SMBIOS_TABLE_PROTOCOL",  //
                          "call BS.CloseEvent(event) = 0x0000000000000000",
                          "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL, registration null) = 0x0000000000000000",
                          "call SMBIOS.ReadStructure(type 9, instance 3) = EFI_SUCCESS",
                          "seen on entry: buffer null, size 0x0000; handed out handle 0x0029",
                          "call SMBIOS.DeleteStructure(handle 0x0029) = EFI_SUCCESS",
                          "call BS.FreePool(SMBIOS copy of instance 0x03) = 0x0000000000000000",
                          "call BS.LocateProtocol(SMBIOS_TABLE_PROTOCOL, registration null) = 0x0000000000000000",
                          "call SMBIOS.ReadStructure(type 9, instance 2) = EFI_SUCCESS",
                          "seen on entry: buffer null, size 0x0000; handed out handle 0x0028",
                          "call SMBIOS.DeleteStructure(handle 0x0028) = EFI_SUCCESS",
                          "call BS.FreePool(SMBIOS copy of instance 0x02) = 0x0000000000000000",
                          "installed SMBIOS_TABLE_PROTOCOL = 0x0000000000000000"));
}

TEST(OvmfDxePhase, HandlersDoNotRunAgainWhenTheServicesArriveAgain) {
  EXPECT_THAT(LinesFrom(RecordedBoot().dxeReport, "installing both again",
                        "locate BOARD_HOOK_PROTOCOL = " + std::string(kSuccess)),
              ElementsAre("installing both again",  //
                          "installed SETUP_STRING_PROTOCOL = 0x0000000000000000",
                          "installed SMBIOS_TABLE_PROTOCOL = 0x0000000000000000",
                          "locate BOARD_HOOK_PROTOCOL = 0x0000000000000000"));
}

TEST(OvmfDxePhase, BoardHookProtocolAnswers) {
  EXPECT_THAT(LinesStartingWith(RecordedBoot().dxeReport, {"null members", "member 0x"}),
              ElementsAre("null members: 0x3 0x7",  //
                          "member 0x0 returns 0x00", "member 0x2 returns 0x00", "member 0x5 returns 0x01",
                          "member 0x1 returns 0x0000000000000000", "member 0x6 returns 0x0000000000000000"));
}

// OVMF already holds an interface of its own under the port locator's GUID,
// so the application hands BoardDxe its stand-in at the lookup. Every bridge
// reads subordinate bus 0, where no Ethernet controller answers.
TEST(OvmfDxePhase, LanMacQueryAsksFourPortsOnceLocatedAndFindsNoController) {
  EXPECT_THAT(LinesFrom(RecordedBoot().dxeReport,
                        "call BS.LocateProtocol(PORT_LOCATOR_PROTOCOL, registration null) = "
                        "0x0000000000000000, another instance: the stand-in handed out instead",
                        "dxe probe: end"),
              ElementsAre("call BS.LocateProtocol(PORT_LOCATOR_PROTOCOL, registration null) = 0x0000000000000000, "
                          "another instance: the stand-in handed out instead",
                          "call PCD.Get32(token 0x8) = 0x000000E0", "call PCD.Get32(token 0x18C) = 0x000000E4",
                          "call PCD.Get32(token 0x18D) = 0x000000E5", "call PCD.Get32(token 0x18E) = 0x000000E6",
                          "member 4 returns 0x0000000000000000",  //
                          "buffer A5 A5 A5 00 A5 A5 A5 A5 A5 A5",
                          "out 00 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5",  //
                          "dxe probe: end"));
}

}  // namespace
}  // namespace ovmf::testing
