// The riser position takes an x16 card (VKT-PM2W-Q37) or an x8 card
// (VKT-PM2W-Q5), told apart by four GPP_K pads. Setup's option-ROM item for
// the riser slot and the SMBIOS System Slots records are adapted to the card.
#include "riser.h"

#include "board/guids.h"
#include "board/outside_protocols.h"
#include "gpio.h"
#include "gpio_groups.h"
#include "module_globals.h"
#include "uefi/status.h"

namespace {

// GPP_K pads 0 to 3 of the H-series PCH carry the riser code, pad i in bit i.
constexpr UINT8 kRiserCodePadCount = 4;
constexpr GpioPad kRiserCodeFirstPad = GpioPad::Of(kChipsetIdH, kHSeriesGroupGppK, 0);
static_assert(kRiserCodeFirstPad.Value == 0x030A0000);

constexpr RiserCode kRiserCodeX16 = 0x0E;
constexpr RiserCode kRiserCodeX8 = 0x0C;

// Setup keeps the riser slot's option-ROM item texts under this name.
constexpr CHAR8 kSetupStringName[] = "Setup";
constexpr UINTN kRiserOpromPromptToken = 0x1A2B;
constexpr UINTN kRiserOpromHelpToken = 0x1A2C;

// SMBIOS System Slots records: instance 1 to 3 describe the riser position.
constexpr UINT8 kSmbiosTypeSystemSlots = 9;
constexpr UINTN kSmbiosHandleOffset = __builtin_offsetof(SMBIOS_STRUCTURE_HEADER, Handle);

struct RiserCard {
  RiserCode Code;
  const CHAR8 *OpromPrompt;
  const CHAR8 *OpromHelp;
  // The slot records that do not describe this card, higher instance first.
  UINT8 UnfittedSlotInstances[2];
};

constexpr RiserCard kRiserCards[] = {
    {kRiserCodeX16, "VKT-PM2W-Q37 PCI-E 3.0 X16 OPROM", "Enable or Disable VKT-PM2W-Q37 OPROM option.", {3, 1}},
    {kRiserCodeX8, "VKT-PM2W-Q5 PCI-E 3.0 X8 OPROM", "Enable or Disable VKT-PM2W-Q5 OPROM option.", {2, 1}},
};

// With no recognised card the first slot record is kept.
constexpr UINT8 kNoRiserUnfittedSlotInstances[2] = {3, 2};

// A service's interface, or NULL when it cannot be located. A core that
// reports success but hands back no interface has located nothing either.
const VOID *LocateService(const EFI_GUID *protocol) {
  VOID *interface = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(protocol, nullptr, &interface))) {
    return nullptr;
  }
  return interface;
}

const RiserCard *FindRiserCard(RiserCode code) {
  for (const RiserCard &card : kRiserCards) {
    if (card.Code == code) {
      return &card;
    }
  }
  return nullptr;
}

}  // namespace

RiserCode ReadRiserCode() {
  RiserCode code = 0;
  // One level serves all four reads: a pad that cannot be read leaves the
  // previous pad's level in place.
  UINT32 level = 0;
  for (UINT8 i = 0; i < kRiserCodePadCount; ++i) {
    GetInputValue(GpioPad{kRiserCodeFirstPad.Value + i}, &level);
    code = RiserCode(code | RiserCode(UINT8(level) << i));
  }
  return code;
}

VOID EFIAPI SetupStringArrivalHandler(EFI_EVENT Event, VOID * /*Context*/) {
  const auto *setupStrings = static_cast<const SETUP_STRING_PROTOCOL *>(LocateService(&gSetupStringProtocolGuid));
  if (setupStrings == nullptr) {
    return;
  }
  gBS->CloseEvent(Event);

  const RiserCard *card = FindRiserCard(ReadRiserCode());
  if (card == nullptr) {
    return;  // Setup keeps its built-in texts
  }
  setupStrings->SetString(kSetupStringName, kRiserOpromPromptToken, card->OpromPrompt);
  setupStrings->SetString(kSetupStringName, kRiserOpromHelpToken, card->OpromHelp);
}

VOID EFIAPI SmbiosSlotArrivalHandler(EFI_EVENT Event, VOID * /*Context*/) {
  gBS->CloseEvent(Event);

  const RiserCard *card = FindRiserCard(ReadRiserCode());
  const UINT8 *unfitted = card != nullptr ? card->UnfittedSlotInstances : kNoRiserUnfittedSlotInstances;
  DeleteSmbiosRecord(unfitted[0]);
  DeleteSmbiosRecord(unfitted[1]);
}

VOID DeleteSmbiosRecord(UINT8 instance) {
  const auto *smbios = static_cast<const SMBIOS_TABLE_PROTOCOL *>(LocateService(&gSmbiosTableProtocolGuid));
  if (smbios == nullptr) {
    return;
  }

  VOID *record = nullptr;
  UINT16 size = 0;
  if (EFI_ERROR(smbios->ReadStructure(kSmbiosTypeSystemSlots, instance, &record, &size))) {
    return;
  }
  // A copy too short to hold the structure header has no handle to delete.
  if (record != nullptr && size >= sizeof(SMBIOS_STRUCTURE_HEADER)) {
    const auto *bytes = static_cast<const UINT8 *>(record);
    const UINT16 handle = UINT16(bytes[kSmbiosHandleOffset] | (bytes[kSmbiosHandleOffset + 1] << 8));
    smbios->DeleteStructure(handle);
  }
  if (record != nullptr) {
    gBS->FreePool(record);
  }
}
