// The host side of the firmware's register and CPU seams: host-built modules
// link these instead of hal/'s volatile accesses and sidt.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "hw/cpu.h"
#include "hw/register_access.h"
#include "sim/engine/native/native_context.h"
#include "sim/hw/hardware_model.h"

namespace boardsim {
namespace {

NativeContext gContext;
int gClaims = 0;

HardwareModel &Hardware() { return *ActiveNativeContext().hardware; }

}  // namespace

NativeContext &ActiveNativeContext() {
  if (gClaims == 0) {
    std::fprintf(stderr, "boardsim: a host-built module ran outside a simulated boot\n");
    std::abort();
  }
  return gContext;
}

void ClaimNativeContext(ServiceHub &hub, HardwareModel &hardware) {
  if (gClaims > 0 && (gContext.hub != &hub || gContext.hardware != &hardware))
    throw std::logic_error("another native boot is still running in this process");
  gContext.hub = &hub;
  gContext.hardware = &hardware;
  ++gClaims;
}

void ReleaseNativeContext() {
  if (--gClaims == 0) gContext = {};
}

}  // namespace boardsim

using boardsim::Hardware;

UINT8 MmioRead8(UINT32 address) { return static_cast<UINT8>(Hardware().Read(address, 8)); }
UINT16 MmioRead16(UINT32 address) { return static_cast<UINT16>(Hardware().Read(address, 16)); }
UINT32 MmioRead32(UINT32 address) { return static_cast<UINT32>(Hardware().Read(address, 32)); }
void MmioWrite8(UINT32 address, UINT8 value) { Hardware().Write(address, 8, value); }
void MmioWrite16(UINT32 address, UINT16 value) { Hardware().Write(address, 16, value); }
void MmioWrite32(UINT32 address, UINT32 value) { Hardware().Write(address, 32, value); }
UINTN ReadIdtBase() { return boardsim::ActiveNativeContext().idtBase; }
