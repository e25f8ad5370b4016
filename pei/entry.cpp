// BoardPei's entry point: publish BOARD_HOOK_PPI, put the product name into
// the PCD database, then apply the lane register overrides.
#include "board/guids.h"
#include "board_hook_ppi.h"
#include "board_name.h"
#include "lane_overrides.h"
#include "pcd.h"
#include "pi/pei_services.h"
#include "uefi/status.h"

namespace {

// The module runs from flash and cannot keep the descriptor in its image, so
// it lives in PEI pool for the rest of PEI.
EFI_STATUS InstallBoardHookPpi(const EFI_PEI_SERVICES **PeiServices) {
  VOID *buffer = nullptr;
  EFI_STATUS status = (*PeiServices)->AllocatePool(PeiServices, sizeof(EFI_PEI_PPI_DESCRIPTOR), &buffer);
  if (EFI_ERROR(status)) {
    return status;
  }
  // A core that reports success but hands back no memory has allocated nothing.
  if (buffer == nullptr) {
    return EFI_OUT_OF_RESOURCES;
  }
  auto *descriptor = static_cast<EFI_PEI_PPI_DESCRIPTOR *>(buffer);
  descriptor->Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
  descriptor->Guid = &gBoardHookPpiGuid;
  // The PPI is only read through the descriptor; the pointer type is the core's.
  descriptor->Ppi = const_cast<BOARD_HOOK_PPI *>(&kBoardHookPpi);
  return (*PeiServices)->InstallPpi(PeiServices, descriptor);
}

// Without a PCD service there is nowhere to publish the name; the rest of the
// board set-up does not depend on it.
void SetBoardNamePcd() {
  PCD_PPI *pcd = LocatePcdPpi();
  if (pcd == nullptr) {
    return;
  }
  UINTN size = kBoardProductNameSize;
  // The service only reads the name; the pointer type is the service's.
  pcd->SetPointer(kBoardNamePcdToken, &size, const_cast<CHAR16 *>(kBoardProductName));
}

}  // namespace

extern "C" EFI_STATUS EFIAPI BoardPeiEntry(EFI_PEI_FILE_HANDLE, const EFI_PEI_SERVICES **PeiServices) {
  const EFI_STATUS status = InstallBoardHookPpi(PeiServices);
  if (EFI_ERROR(status)) {
    return status;
  }
  SetBoardNamePcd();
  ApplyBoardLaneOverrides();
  return EFI_SUCCESS;
}
