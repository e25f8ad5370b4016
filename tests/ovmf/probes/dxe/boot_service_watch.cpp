#include "boot_service_watch.h"

#include "probe_console.h"
#include "stand_in_services.h"

namespace {

EFI_BOOT_SERVICES *gWatched = nullptr;
EFI_LOCATE_PROTOCOL gCoreLocateProtocol = nullptr;
EFI_CLOSE_EVENT gCoreCloseEvent = nullptr;
EFI_FREE_POOL gCoreFreePool = nullptr;

// The core hands out the first instance installed under a GUID. Where the
// platform already holds another interface under a board-firmware GUID, the
// stand-in is handed out instead, and the report says so.
EFI_STATUS EFIAPI ReportedLocateProtocol(const EFI_GUID *Protocol, VOID *Registration, VOID **Interface) {
  EFI_STATUS status = gCoreLocateProtocol(Protocol, Registration, Interface);
  const StandIn *standIn = FindStandIn(Protocol);
  if (standIn == nullptr) {
    return status;
  }
  Report().Text("call BS.LocateProtocol(").Text(standIn->Name).Text(", registration ").Pointer(Registration);
  Report().Text(") = ").Hex(status, 16);
  if (status == 0 && *Interface != standIn->Interface) {
    Report().Text(", another instance: the stand-in handed out instead");
    *Interface = standIn->Interface;
  }
  Report().End();
  return status;
}

EFI_STATUS EFIAPI ReportedCloseEvent(EFI_EVENT Event) {
  const EFI_STATUS status = gCoreCloseEvent(Event);
  Report().Text("call BS.CloseEvent(event) = ").Hex(status, 16).End();
  return status;
}

EFI_STATUS EFIAPI ReportedFreePool(VOID *Buffer) {
  const UINT8 instance = TakeSmbiosCopy(Buffer);
  const EFI_STATUS status = gCoreFreePool(Buffer);
  if (instance != 0) {
    Report().Text("call BS.FreePool(SMBIOS copy of instance ").Hex(instance, 2).Text(") = ").Hex(status, 16).End();
  }
  return status;
}

}  // namespace

VOID WatchBootServices(EFI_BOOT_SERVICES *bs) {
  gWatched = bs;
  gCoreLocateProtocol = bs->LocateProtocol;
  gCoreCloseEvent = bs->CloseEvent;
  gCoreFreePool = bs->FreePool;
  bs->LocateProtocol = ReportedLocateProtocol;
  bs->CloseEvent = ReportedCloseEvent;
  bs->FreePool = ReportedFreePool;
}

VOID StopWatchingBootServices() {
  gWatched->LocateProtocol = gCoreLocateProtocol;
  gWatched->CloseEvent = gCoreCloseEvent;
  gWatched->FreePool = gCoreFreePool;
}
