// Read-only access to the PCH's general-purpose I/O pads: which PCH series is
// fitted, whether a pad exists on it, who owns a pad and what level it reads.
// Everything goes through the sideband window and PCI configuration space; no
// firmware service is called.
#pragma once

#include "hw/sideband.h"
#include "uefi/base_types.h"

// A pad as the PCH's GPIO registers name it: chipset id in bits 31..24, group
// index in bits 23..16, pad number within the group in bits 15..0.
struct GpioPad {
  UINT32 Value;

  static constexpr GpioPad Of(UINT8 chipsetId, UINT8 groupIndex, UINT16 padNumber) {
    return {(UINT32(chipsetId) << 24) | (UINT32(groupIndex) << 16) | padNumber};
  }
  constexpr UINT8 ChipsetId() const { return UINT8(Value >> 24); }
  constexpr UINT8 GroupIndex() const { return UINT8(Value >> 16); }
  constexpr UINT16 PadNumber() const { return UINT16(Value); }
};
static_assert(sizeof(GpioPad) == 4);

// Chipset id carried by the pads of each PCH series.
inline constexpr UINT8 kChipsetIdH = 3;
inline constexpr UINT8 kChipsetIdLp = 4;

using PchSeries = UINT8;
inline constexpr PchSeries kPchSeriesH = 1;
inline constexpr PchSeries kPchSeriesLp = 2;
inline constexpr PchSeries kPchSeriesUnknown = 0xFF;

// The last series GetPchSeries found. It stays kPchSeriesUnknown until a PCH
// is recognised, so an unrecognised PCH is probed again at every call.
extern PchSeries gPchSeries;

// One pad group of a GPIO community: its sideband port, its register offsets
// within the port (kNoGpioRegister where the group lacks one) and its size.
struct GpioGroupInfo {
  UINT8 PortId;
  UINT16 PadOwnershipOffset;
  UINT16 HostOwnershipOffset;
  UINT16 GpiInterruptStatusOffset;
  UINT16 GpiInterruptEnableOffset;
  UINT16 GpiGpeStatusOffset;
  UINT16 GpiGpeEnableOffset;
  UINT16 SmiStatusOffset;
  UINT16 SmiEnableOffset;
  UINT16 NmiStatusOffset;
  UINT16 NmiEnableOffset;
  UINT16 PadConfigLockOffset;
  UINT16 PadConfigLockTxOffset;
  UINT16 PadConfigBaseOffset;  // DW0 of the group's first pad
  UINT16 PadCount;
};
static_assert(sizeof(GpioGroupInfo) == 30);
static_assert(__builtin_offsetof(GpioGroupInfo, PadOwnershipOffset) == 2);
static_assert(__builtin_offsetof(GpioGroupInfo, PadConfigBaseOffset) == 26);
static_assert(__builtin_offsetof(GpioGroupInfo, PadCount) == 28);

inline constexpr UINT16 kNoGpioRegister = 0xFFFF;

// Each ownership register covers eight pads, four bits per pad, of which the
// low two name the owner.
inline constexpr UINT32 kPadsPerOwnershipRegister = 8;
inline constexpr UINT32 kOwnershipFieldBits = 4;
inline constexpr UINT32 kOwnershipFieldMask = 0x3;
inline constexpr UINT32 kPadOwnerHost = 0;

// Each pad has a 16-byte block of configuration registers starting with DW0.
inline constexpr UINT32 kPadConfigStride = 16;
// DW0 bit 1: the pad's RX state, the level the pad reads.
inline constexpr UINT32 kPadConfigDw0RxStateShift = 1;

constexpr SidebandRegister PadOwnershipRegister(const GpioGroupInfo &group, UINT16 padNumber) {
  return {group.PortId, TruncateSidebandOffset(group.PadOwnershipOffset + (padNumber / kPadsPerOwnershipRegister) * 4)};
}

constexpr UINT32 PadOwnerField(UINT32 ownershipRegister, UINT16 padNumber) {
  return (ownershipRegister >> ((padNumber % kPadsPerOwnershipRegister) * kOwnershipFieldBits)) & kOwnershipFieldMask;
}

constexpr SidebandRegister PadConfigDw0Register(const GpioGroupInfo &group, UINT16 padNumber) {
  return {group.PortId, TruncateSidebandOffset(group.PadConfigBaseOffset + padNumber * kPadConfigStride)};
}

constexpr UINT32 PadRxState(UINT32 dw0) { return (dw0 >> kPadConfigDw0RxStateShift) & 1; }

PchSeries GetPchSeries();
// The group table of the fitted series; the H table unless the PCH is LP.
const GpioGroupInfo *GetGroupTable(UINT32 *groupCount);
BOOLEAN IsPadValid(GpioPad pad);
// EFI_INVALID_PARAMETER for a pad that does not exist on the fitted PCH;
// otherwise the pad's owner (kPadOwnerHost when the host owns it).
EFI_STATUS GetPadOwnership(GpioPad pad, UINT32 *owner);
// Callers validate the pad first.
UINT32 ReadPadConfigDw0(GpioPad pad);
// The pad's level (0 or 1), written only on success; EFI_UNSUPPORTED when
// another agent owns the pad.
EFI_STATUS GetInputValue(GpioPad pad, UINT32 *level);
