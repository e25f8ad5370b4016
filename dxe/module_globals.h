// The service tables the DXE core hands to the driver's entry point. Written
// once there; every later boot-service call goes through gBS.
#pragma once

#include "uefi/boot_services.h"

extern EFI_HANDLE gImageHandle;
extern EFI_SYSTEM_TABLE *gST;
extern EFI_BOOT_SERVICES *gBS;
extern VOID *gRT;
