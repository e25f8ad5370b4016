// Riser adaptation: reads which riser card is fitted and makes Setup and the
// SMBIOS slot records describe it.
#pragma once

#include "uefi/base_types.h"

// Bit i is the level of GPP_K pad i (i = 0..3); a pad that cannot be read
// repeats the level of the last pad read successfully.
using RiserCode = UINT8;

RiserCode ReadRiserCode();

// Deletes the SMBIOS System Slots record with the given instance number.
VOID DeleteSmbiosRecord(UINT8 instance);

// Arrival of the Setup string service: rewrite the riser slot's option-ROM
// prompt and help for the fitted card. Stays armed until the service can be
// located.
VOID EFIAPI SetupStringArrivalHandler(EFI_EVENT Event, VOID *Context);

// Arrival of the SMBIOS service: delete the slot records of the risers that
// are not fitted. Runs once.
VOID EFIAPI SmbiosSlotArrivalHandler(EFI_EVENT Event, VOID *Context);
