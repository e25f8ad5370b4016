// PCD_PPI, the PEI-phase PCD service. The board's module calls only the
// member that sets a pointer-type PCD by token number (the 20th pointer).
#pragma once

#include "uefi/base_types.h"

using PCD_PPI_SET_POINTER = EFI_STATUS(EFIAPI *)(UINTN TokenNumber, UINTN *SizeOfBuffer, VOID *Buffer);

inline constexpr UINTN kPcdPpiSetPointerIndex = 19;
inline constexpr UINTN kPcdPpiMemberCount = 31;

struct PCD_PPI {
  VOID *Reserved[kPcdPpiSetPointerIndex];
  PCD_PPI_SET_POINTER SetPointer;
  VOID *Later[kPcdPpiMemberCount - kPcdPpiSetPointerIndex - 1];
};
static_assert(__builtin_offsetof(PCD_PPI, SetPointer) == kPcdPpiSetPointerIndex * sizeof(VOID *));
static_assert(sizeof(PCD_PPI) == kPcdPpiMemberCount * sizeof(VOID *));
