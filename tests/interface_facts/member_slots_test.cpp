// Where each member the modules call or provide sits in its table, written
// here as the documented slot numbers (counting pointers from 0, after the
// table header where there is one) and checked against the firmware's
// structures as this build lays them out.
#include <gtest/gtest.h>

#include <cstddef>

#include "board/board_hook_ppi.h"
#include "board/board_hook_protocol.h"
#include "board/outside_protocols.h"
#include "pi/pcd_ppi.h"
#include "pi/pei_services.h"
#include "uefi/boot_services.h"

namespace {

constexpr std::size_t kPointer = sizeof(void *);
constexpr std::size_t kTableHeader = 24;  // EFI_TABLE_HEADER: signature, revision, size, CRC, reserved

constexpr std::size_t Slot(std::size_t slot) { return slot * kPointer; }
constexpr std::size_t ServiceSlot(std::size_t slot) { return kTableHeader + slot * kPointer; }

TEST(MemberSlots, BoardHookProtocolHasEightMembersWithTheMacQueryFifth) {
  EXPECT_EQ(sizeof(BOARD_HOOK_PROTOCOL), Slot(8));
  EXPECT_EQ(offsetof(BOARD_HOOK_PROTOCOL, Member0), Slot(0));
  EXPECT_EQ(offsetof(BOARD_HOOK_PROTOCOL, Member1), Slot(1));
  EXPECT_EQ(offsetof(BOARD_HOOK_PROTOCOL, Member2), Slot(2));
  EXPECT_EQ(offsetof(BOARD_HOOK_PROTOCOL, Member3), Slot(3));
  EXPECT_EQ(offsetof(BOARD_HOOK_PROTOCOL, LanMacQuery), Slot(4));
  EXPECT_EQ(offsetof(BOARD_HOOK_PROTOCOL, Member5), Slot(5));
  EXPECT_EQ(offsetof(BOARD_HOOK_PROTOCOL, Member6), Slot(6));
  EXPECT_EQ(offsetof(BOARD_HOOK_PROTOCOL, Member7), Slot(7));
}

TEST(MemberSlots, BoardHookPpiHasTenMembersWithBoardInfoFourth) {
  EXPECT_EQ(sizeof(BOARD_HOOK_PPI), Slot(10));
  EXPECT_EQ(offsetof(BOARD_HOOK_PPI, Member0), Slot(0));
  EXPECT_EQ(offsetof(BOARD_HOOK_PPI, Member1), Slot(1));
  EXPECT_EQ(offsetof(BOARD_HOOK_PPI, Member2), Slot(2));
  EXPECT_EQ(offsetof(BOARD_HOOK_PPI, BoardInfo), Slot(3));
  EXPECT_EQ(offsetof(BOARD_HOOK_PPI, Member4), Slot(4));
  EXPECT_EQ(offsetof(BOARD_HOOK_PPI, Member5), Slot(5));
  EXPECT_EQ(offsetof(BOARD_HOOK_PPI, Member9), Slot(9));
}

TEST(MemberSlots, OutsideServicesMembersTheDriverAndModuleCall) {
  EXPECT_EQ(offsetof(SETUP_STRING_PROTOCOL, SetString), Slot(1));
  EXPECT_EQ(offsetof(SMBIOS_TABLE_PROTOCOL, DeleteStructure), Slot(6));
  EXPECT_EQ(offsetof(SMBIOS_TABLE_PROTOCOL, ReadStructure), Slot(8));
  EXPECT_EQ(offsetof(PORT_LOCATOR_PROTOCOL, GetBridge), Slot(3));
  EXPECT_EQ(offsetof(PCD_PPI, SetPointer), Slot(19));
  // An SMBIOS structure header: type, length, then the 16-bit handle.
  EXPECT_EQ(sizeof(SMBIOS_STRUCTURE_HEADER), 4u);
  EXPECT_EQ(offsetof(SMBIOS_STRUCTURE_HEADER, Handle), 2u);
}

TEST(MemberSlots, BootServicesTheDriverCalls) {
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, FreePool), ServiceSlot(6));
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, CreateEvent), ServiceSlot(7));
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, CloseEvent), ServiceSlot(11));
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface), ServiceSlot(13));
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, RegisterProtocolNotify), ServiceSlot(18));
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, LocateProtocol), ServiceSlot(37));
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, CopyMem), ServiceSlot(41));
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, CreateEventEx), ServiceSlot(43));
  // The system table: header, vendor string, revision (padded to a pointer),
  // three console handle/protocol pairs, then runtime and boot services.
  EXPECT_EQ(offsetof(EFI_SYSTEM_TABLE, RuntimeServices), kTableHeader + Slot(8));
  EXPECT_EQ(offsetof(EFI_SYSTEM_TABLE, BootServices), kTableHeader + Slot(9));
}

TEST(MemberSlots, PeiServicesAndPpiDescriptorTheModuleUses) {
  EXPECT_EQ(offsetof(EFI_PEI_SERVICES, InstallPpi), ServiceSlot(0));
  EXPECT_EQ(offsetof(EFI_PEI_SERVICES, LocatePpi), ServiceSlot(2));
  EXPECT_EQ(offsetof(EFI_PEI_SERVICES, AllocatePool), ServiceSlot(13));
  EXPECT_EQ(offsetof(EFI_PEI_PPI_DESCRIPTOR, Flags), Slot(0));
  EXPECT_EQ(offsetof(EFI_PEI_PPI_DESCRIPTOR, Guid), Slot(1));
  EXPECT_EQ(offsetof(EFI_PEI_PPI_DESCRIPTOR, Ppi), Slot(2));
  EXPECT_EQ(EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, 0x80000010u);
}

}  // namespace
