// BOARD_HOOK_PPI as this board publishes it: one constant instance in the
// module's image, whose members give fixed board answers.
#pragma once

#include "board/board_hook_ppi.h"
#include "uefi/base_types.h"

// Fills the 4 bytes at Info and the byte at Flag with the board's values; the
// first two arguments are not read.
EFI_STATUS EFIAPI BoardInfo(VOID *Unused0, VOID *Unused1, UINT8 *Info, UINT8 *Flag);

inline constexpr UINT8 kBoardInfoBytes[4] = {0x15, 0x1B, 0x01, 0x01};
inline constexpr UINT8 kBoardInfoFlag = 0x01;

// Lives in flash with the code: the PEI core and its consumers only read it.
extern const BOARD_HOOK_PPI kBoardHookPpi;
