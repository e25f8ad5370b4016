// BOARD_HOOK_PROTOCOL: the board's answers for the rest of the DXE firmware.
// Its members take no interface pointer.
#pragma once

#include "uefi/base_types.h"

using BOARD_HOOK_BOOLEAN_ANSWER = BOOLEAN(EFIAPI *)();
using BOARD_HOOK_VALUE_ANSWER = UINT64(EFIAPI *)();
// Buffer: first MAC list at Buffer + 3 (room for one entry, 10 bytes in all);
// Out: second MAC list (room for three entries, 19 bytes).
using BOARD_HOOK_LAN_MAC_QUERY = EFI_STATUS(EFIAPI *)(UINT8 *Buffer, UINT8 *Out);

struct BOARD_HOOK_PROTOCOL {
  BOARD_HOOK_BOOLEAN_ANSWER Member0;
  BOARD_HOOK_VALUE_ANSWER Member1;
  BOARD_HOOK_BOOLEAN_ANSWER Member2;
  VOID *Member3;
  BOARD_HOOK_LAN_MAC_QUERY LanMacQuery;
  BOARD_HOOK_BOOLEAN_ANSWER Member5;
  BOARD_HOOK_VALUE_ANSWER Member6;
  VOID *Member7;
};
static_assert(sizeof(BOARD_HOOK_PROTOCOL) == 8 * sizeof(VOID *));
static_assert(__builtin_offsetof(BOARD_HOOK_PROTOCOL, LanMacQuery) == 4 * sizeof(VOID *));

// A MAC list: a count byte, then six bytes per address.
inline constexpr UINTN kMacAddressSize = 6;
inline constexpr UINTN kFirstMacListOffset = 3;
inline constexpr UINTN kFirstMacListBufferSize = kFirstMacListOffset + 1 + kMacAddressSize;
inline constexpr UINTN kSecondMacListBufferSize = 1 + 3 * kMacAddressSize;
