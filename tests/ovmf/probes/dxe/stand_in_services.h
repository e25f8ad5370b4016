// Stand-ins for the board-firmware services BoardDxe waits for or calls: the
// Setup string service, the SMBIOS service with three System Slots records,
// and the port locator. Each call is reported as it happens.
#pragma once

#include "uefi/boot_services.h"

// Installs the port locator (BoardDxe only calls it from its LAN MAC query).
EFI_STATUS InstallPortLocatorStandIn(EFI_BOOT_SERVICES *bs);
// Each installation is on a new handle; BoardDxe's handlers run inside it.
EFI_STATUS InstallSetupStringStandIn(EFI_BOOT_SERVICES *bs);
EFI_STATUS InstallSmbiosStandIn(EFI_BOOT_SERVICES *bs);

struct StandIn {
  const CHAR8 *Name;
  const EFI_GUID *Guid;
  VOID *Interface;
};
// The stand-in serving a board-firmware protocol, or null.
const StandIn *FindStandIn(const EFI_GUID *guid);
// The instance whose copy the SMBIOS stand-in handed out at this address
// (0 if none); the copy is forgotten, as it is being freed.
UINT8 TakeSmbiosCopy(const VOID *buffer);
