// BOARD_HOOK_PROTOCOL: the board's fixed answers and its LAN MAC query.
#pragma once

#include "board/board_hook_protocol.h"

// Installs the protocol on a new handle; the instance is never uninstalled.
EFI_STATUS InstallBoardHookProtocol();

// Fills the MAC list at Buffer + 3 from the onboard controller behind port 8
// and the list at Out from those behind ports 0x18C, 0x18D and 0x18E.
EFI_STATUS EFIAPI LanMacQuery(UINT8 *Buffer, UINT8 *Out);
