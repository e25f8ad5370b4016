// The dynamic PCD tokens the board's modules use, by the token numbers of the
// platform's PCD database: the modules name them by number, so the platform
// must give them these numbers.
#pragma once

#include "uefi/base_types.h"

// BoardPei writes the product name (UTF-16, 24 bytes with its NUL) through
// PCD_PPI's pointer-setting member.
inline constexpr UINTN kBoardNamePcdToken = 5;

// BoardDxe reads each LAN bridge's bus/device/function (UINT32, used in its
// low 16 bits) through PORT_LOCATOR_PROTOCOL's member 3, the DXE PCD
// service's Get32: the first list's bridge, then the second list's, in list
// order.
inline constexpr UINTN kFirstLanBridgePcdToken = 8;
inline constexpr UINTN kSecondLanBridgePcdTokens[] = {0x18C, 0x18D, 0x18E};
