// The CPU seam: the base of the interrupt descriptor table (from IDTR).
// The firmware images read it with sidt; host builds get the simulated one.
#pragma once

#include "uefi/base_types.h"

UINTN ReadIdtBase();
