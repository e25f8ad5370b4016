// EFI_STATUS values used by the board's modules.
#pragma once

#include "uefi/base_types.h"

inline constexpr EFI_STATUS kEfiErrorBit = EFI_STATUS(1) << (sizeof(EFI_STATUS) * 8 - 1);

inline constexpr EFI_STATUS EFI_SUCCESS = 0;
inline constexpr EFI_STATUS EFI_LOAD_ERROR = kEfiErrorBit | 1;
inline constexpr EFI_STATUS EFI_INVALID_PARAMETER = kEfiErrorBit | 2;
inline constexpr EFI_STATUS EFI_UNSUPPORTED = kEfiErrorBit | 3;
inline constexpr EFI_STATUS EFI_BUFFER_TOO_SMALL = kEfiErrorBit | 5;
inline constexpr EFI_STATUS EFI_DEVICE_ERROR = kEfiErrorBit | 7;
inline constexpr EFI_STATUS EFI_OUT_OF_RESOURCES = kEfiErrorBit | 9;
inline constexpr EFI_STATUS EFI_NOT_FOUND = kEfiErrorBit | 14;
inline constexpr EFI_STATUS EFI_WARN_UNKNOWN_GLYPH = 1;

inline constexpr bool EFI_ERROR(EFI_STATUS status) { return (status & kEfiErrorBit) != 0; }
