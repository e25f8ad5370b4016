// While watched, the boot services BoardDxe's handlers call on the core are
// reported as they are made: LocateProtocol of the board-firmware services,
// CloseEvent, and FreePool of the SMBIOS stand-in's copies. The table's
// entries are swapped for reporting wrappers that call the core's own.
#pragma once

#include "uefi/boot_services.h"

VOID WatchBootServices(EFI_BOOT_SERVICES *bs);
VOID StopWatchingBootServices();
