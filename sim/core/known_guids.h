// The GUIDs the simulated board knows by name, taken from the firmware's own
// definitions so the two cannot drift apart.
#pragma once

#include <string>

#include "sim/base/guest_memory.h"

namespace boardsim {

Guid BoardHookProtocolGuid();
Guid BoardHookPpiGuid();
Guid ReadyToBootGroupGuid();
Guid SetupStringProtocolGuid();
Guid SmbiosTableProtocolGuid();
Guid PortLocatorProtocolGuid();
Guid PcdPpiGuid();

// "SMBIOS_TABLE_PROTOCOL", or the registry form for a GUID we do not know.
std::string GuidName(const Guid &guid);

}  // namespace boardsim
