// BoardDxe's entry point: keeps the service tables, installs the board hook
// protocol and wires the driver's events. After it returns the driver only
// runs when one of its events is signalled or its protocol is called.
#include "board/guids.h"
#include "board_hook.h"
#include "module_globals.h"
#include "riser.h"
#include "uefi/status.h"

EFI_HANDLE gImageHandle = nullptr;
EFI_SYSTEM_TABLE *gST = nullptr;
EFI_BOOT_SERVICES *gBS = nullptr;
VOID *gRT = nullptr;

namespace {

// The driver has nothing to do at ReadyToBoot; it only stops listening so
// that later ReadyToBoot signals no longer reach it.
VOID EFIAPI ReadyToBootHandler(EFI_EVENT Event, VOID * /*Context*/) { gBS->CloseEvent(Event); }

EFI_STATUS InitBoardDxe() {
  InstallBoardHookProtocol();

  EFI_EVENT readyToBoot = nullptr;
  gBS->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, ReadyToBootHandler, nullptr, &gEfiEventReadyToBootGuid,
                     &readyToBoot);

  // The Setup strings are optional: without the event, Setup keeps its texts.
  EFI_EVENT setupStringArrival = nullptr;
  if (!EFI_ERROR(
          gBS->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, SetupStringArrivalHandler, nullptr, &setupStringArrival))) {
    VOID *setupStringRegistration = nullptr;
    gBS->RegisterProtocolNotify(&gSetupStringProtocolGuid, setupStringArrival, &setupStringRegistration);
  }

  EFI_EVENT smbiosArrival = nullptr;
  const EFI_STATUS status =
      gBS->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, SmbiosSlotArrivalHandler, nullptr, &smbiosArrival);
  if (status != EFI_SUCCESS) {
    return status;
  }
  VOID *smbiosRegistration = nullptr;
  return gBS->RegisterProtocolNotify(&gSmbiosTableProtocolGuid, smbiosArrival, &smbiosRegistration);
}

}  // namespace

extern "C" EFI_STATUS EFIAPI BoardDxeEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  gImageHandle = ImageHandle;
  gST = SystemTable;
  gBS = SystemTable->BootServices;
  gRT = SystemTable->RuntimeServices;
  return InitBoardDxe();
}
