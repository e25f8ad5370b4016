// PCH series detection and pad reads through the GPIO communities' sideband
// registers.
#include "gpio.h"

#include "gpio_groups.h"
#include "hw/pci_config.h"
#include "hw/register_access.h"
#include "uefi/status.h"

PchSeries gPchSeries = kPchSeriesUnknown;

namespace {

// The PCH's LPC/eSPI bridge, bus 0 device 31 function 0, tells the series by
// its device id; the low five bits only tell the SKU apart.
constexpr PciBdf kPchBridge = PciBdf::Of(0, 31, 0);
constexpr UINT16 kPchDeviceIdMask = 0xFFE0;
constexpr UINT16 kPchDeviceIdLp = 0x9D80;
constexpr UINT16 kPchDeviceIdH = 0xA300;
static_assert(kPchBridge.ConfigAddress(kPciDeviceIdOffset) == 0xE00F8002);

const GpioGroupInfo &GroupOf(GpioPad pad) {
  UINT32 groupCount = 0;
  return GetGroupTable(&groupCount)[pad.GroupIndex()];
}

}  // namespace

PchSeries GetPchSeries() {
  if (gPchSeries != kPchSeriesUnknown) {
    return gPchSeries;
  }
  const UINT16 deviceId = UINT16(MmioRead16(kPchBridge.ConfigAddress(kPciDeviceIdOffset)) & kPchDeviceIdMask);
  if (deviceId == kPchDeviceIdLp) {
    gPchSeries = kPchSeriesLp;
  } else if (deviceId == kPchDeviceIdH) {
    gPchSeries = kPchSeriesH;
  } else {
    gPchSeries = kPchSeriesUnknown;
  }
  return gPchSeries;
}

const GpioGroupInfo *GetGroupTable(UINT32 *groupCount) {
  if (GetPchSeries() == kPchSeriesLp) {
    *groupCount = kLpSeriesGpioGroupCount;
    return kLpSeriesGpioGroups;
  }
  *groupCount = kHSeriesGpioGroupCount;
  return kHSeriesGpioGroups;
}

BOOLEAN IsPadValid(GpioPad pad) {
  const UINT8 expectedChipsetId = GetPchSeries() == kPchSeriesLp ? kChipsetIdLp : kChipsetIdH;
  if (pad.ChipsetId() != expectedChipsetId) {
    return FALSE;
  }
  UINT32 groupCount = 0;
  const GpioGroupInfo *groups = GetGroupTable(&groupCount);
  if (pad.GroupIndex() >= groupCount) {
    return FALSE;
  }
  if (pad.PadNumber() >= groups[pad.GroupIndex()].PadCount) {
    return FALSE;
  }
  return TRUE;
}

EFI_STATUS GetPadOwnership(GpioPad pad, UINT32 *owner) {
  if (!IsPadValid(pad)) {
    return EFI_INVALID_PARAMETER;
  }
  const UINT32 ownership = MmioRead32(PadOwnershipRegister(GroupOf(pad), pad.PadNumber()).Address());
  *owner = PadOwnerField(ownership, pad.PadNumber());
  return EFI_SUCCESS;
}

UINT32 ReadPadConfigDw0(GpioPad pad) {
  return MmioRead32(PadConfigDw0Register(GroupOf(pad), pad.PadNumber()).Address());
}

EFI_STATUS GetInputValue(GpioPad pad, UINT32 *level) {
  if (!IsPadValid(pad)) {
    return EFI_INVALID_PARAMETER;
  }
  UINT32 owner = 0;
  const EFI_STATUS status = GetPadOwnership(pad, &owner);
  if (EFI_ERROR(status)) {
    return status;
  }
  if (owner != kPadOwnerHost) {
    return EFI_UNSUPPORTED;
  }
  *level = PadRxState(ReadPadConfigDw0(pad));
  return EFI_SUCCESS;
}
