// BOARD_HOOK_PPI: the PEI-phase board answers.
#pragma once

#include "uefi/base_types.h"

using BOARD_HOOK_PPI_BOOLEAN_ANSWER = BOOLEAN(EFIAPI *)();
// The first two arguments are not read; Info points to 4 bytes, Flag to 1.
using BOARD_HOOK_PPI_BOARD_INFO = EFI_STATUS(EFIAPI *)(VOID *Unused0, VOID *Unused1, UINT8 *Info, UINT8 *Flag);

struct BOARD_HOOK_PPI {
  BOARD_HOOK_PPI_BOOLEAN_ANSWER Member0;
  VOID *Member1;
  VOID *Member2;
  BOARD_HOOK_PPI_BOARD_INFO BoardInfo;
  BOARD_HOOK_PPI_BOOLEAN_ANSWER Member4;
  VOID *Member5;
  VOID *Member6;
  VOID *Member7;
  VOID *Member8;
  VOID *Member9;
};
static_assert(sizeof(BOARD_HOOK_PPI) == 10 * sizeof(VOID *));
static_assert(__builtin_offsetof(BOARD_HOOK_PPI, BoardInfo) == 3 * sizeof(VOID *));
