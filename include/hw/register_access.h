// The only way firmware code reaches a hardware register: one uncached
// access of exactly the width in the name, at a 32-bit physical address.
// The firmware images link hal/'s volatile implementation; host builds link
// the simulated board's.
#pragma once

#include "uefi/base_types.h"

UINT8 MmioRead8(UINT32 Address);
UINT16 MmioRead16(UINT32 Address);
UINT32 MmioRead32(UINT32 Address);
void MmioWrite8(UINT32 Address, UINT8 Value);
void MmioWrite16(UINT32 Address, UINT16 Value);
void MmioWrite32(UINT32 Address, UINT32 Value);
