// What host-built modules reach while a native boot runs: the service hub
// behind the thunks, the hardware behind the register seam, and the IDT base
// behind the CPU seam. One native boot runs at a time in a process.
#pragma once

#include "sim/base/guest_memory.h"
#include "sim/base/services.h"

namespace boardsim {

class HardwareModel;

struct NativeContext {
  ServiceHub *hub = nullptr;
  HardwareModel *hardware = nullptr;
  GuestAddr idtBase = 0;
};

// The context of the running native boot; aborts with a message if none runs.
NativeContext &ActiveNativeContext();
// Each machine of a boot claims the context and releases it when done;
// claiming it for another boot while one holds it throws.
void ClaimNativeContext(ServiceHub &hub, HardwareModel &hardware);
void ReleaseNativeContext();

// Addresses of the host functions guest code calls for each service, and
// for each slot of a table no service fills.
GuestAddr NativeServiceEntry(Service service);
GuestAddr NativeUnexpectedEntry(ServiceTable table, unsigned slot);

}  // namespace boardsim
