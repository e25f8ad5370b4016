#include "sim/core/known_guids.h"

#include <array>
#include <cstring>
#include <utility>

#include "board/guids.h"

namespace boardsim {
namespace {

Guid FromFirmware(const EFI_GUID &g) {
  Guid guid{g.Data1, g.Data2, g.Data3, {}};
  std::memcpy(guid.data4, g.Data4, sizeof guid.data4);
  return guid;
}

const std::array<std::pair<const EFI_GUID *, const char *>, 7> kNames = {{
    {&gBoardHookProtocolGuid, "BOARD_HOOK_PROTOCOL"},
    {&gBoardHookPpiGuid, "BOARD_HOOK_PPI"},
    {&gEfiEventReadyToBootGuid, "EFI_EVENT_GROUP_READY_TO_BOOT"},
    {&gSetupStringProtocolGuid, "SETUP_STRING_PROTOCOL"},
    {&gSmbiosTableProtocolGuid, "SMBIOS_TABLE_PROTOCOL"},
    {&gPortLocatorProtocolGuid, "PORT_LOCATOR_PROTOCOL"},
    {&gPcdPpiGuid, "PCD_PPI"},
}};

}  // namespace

Guid BoardHookProtocolGuid() { return FromFirmware(gBoardHookProtocolGuid); }
Guid BoardHookPpiGuid() { return FromFirmware(gBoardHookPpiGuid); }
Guid ReadyToBootGroupGuid() { return FromFirmware(gEfiEventReadyToBootGuid); }
Guid SetupStringProtocolGuid() { return FromFirmware(gSetupStringProtocolGuid); }
Guid SmbiosTableProtocolGuid() { return FromFirmware(gSmbiosTableProtocolGuid); }
Guid PortLocatorProtocolGuid() { return FromFirmware(gPortLocatorProtocolGuid); }
Guid PcdPpiGuid() { return FromFirmware(gPcdPpiGuid); }

std::string GuidName(const Guid &guid) {
  for (const auto &[firmware, name] : kNames)
    if (FromFirmware(*firmware) == guid) return name;
  return GuidText(guid);
}

}  // namespace boardsim
