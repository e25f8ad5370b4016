// Register accessors of the firmware images: each is one uncached access of
// exactly the width in its name. The volatile pointer keeps the compiler from
// merging, splitting, repeating or dropping the access; the image tests check
// the generated code for it.
#include "hw/register_access.h"

namespace {

// The board's registers all lie below 4 GiB; on x64 the address is widened
// with zero extension, as the hardware decodes it.
template <typename Width>
volatile Width *Register(UINT32 Address) {
  return reinterpret_cast<volatile Width *>(static_cast<UINTN>(Address));
}

}  // namespace

UINT8 MmioRead8(UINT32 Address) { return *Register<UINT8>(Address); }
UINT16 MmioRead16(UINT32 Address) { return *Register<UINT16>(Address); }
UINT32 MmioRead32(UINT32 Address) { return *Register<UINT32>(Address); }

void MmioWrite8(UINT32 Address, UINT8 Value) { *Register<UINT8>(Address) = Value; }
void MmioWrite16(UINT32 Address, UINT16 Value) { *Register<UINT16>(Address) = Value; }
void MmioWrite32(UINT32 Address, UINT32 Value) { *Register<UINT32>(Address) = Value; }
