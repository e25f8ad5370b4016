#include "pcd.h"

#include "board/guids.h"
#include "hw/cpu.h"
#include "pi/pei_services.h"
#include "uefi/status.h"

namespace {

// The PEI core stores the address of its services table pointer in the
// pointer-sized word just below the IDT base (on IA-32, IDTR base - 4), so
// code that was not handed the pointer can still reach the services.
const EFI_PEI_SERVICES **PeiServicesFromIdt() {
  const UINTN word = ReadIdtBase() - sizeof(VOID *);
  return *reinterpret_cast<const EFI_PEI_SERVICES ***>(word);
}

}  // namespace

PCD_PPI *LocatePcdPpi() {
  const EFI_PEI_SERVICES **services = PeiServicesFromIdt();
  // A core that has not set the word, or its table pointer, offers no services to look in.
  if (services == nullptr || *services == nullptr) {
    return nullptr;
  }
  VOID *pcd = nullptr;
  const EFI_STATUS status = (*services)->LocatePpi(services, &gPcdPpiGuid, 0, nullptr, &pcd);
  if (EFI_ERROR(status)) {
    return nullptr;
  }
  return static_cast<PCD_PPI *>(pcd);
}
