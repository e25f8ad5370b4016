// The PCI configuration window: configuration space mapped into memory.
#pragma once

#include "uefi/base_types.h"

inline constexpr UINT32 kPciConfigWindowBase = 0xE0000000;

// A 16-bit bus/device/function: bus in bits 15..8, device 7..3, function 2..0.
struct PciBdf {
  UINT16 Value;

  static constexpr PciBdf Of(UINT8 bus, UINT8 device, UINT8 function) {
    return {UINT16((UINT32(bus) << 8) | ((UINT32(device) & 0x1F) << 3) | (UINT32(function) & 7))};
  }
  constexpr UINT8 Bus() const { return UINT8(Value >> 8); }
  constexpr UINT8 Device() const { return UINT8((Value >> 3) & 0x1F); }
  constexpr UINT8 Function() const { return UINT8(Value & 7); }

  // Address of a register of this function's configuration space, in 32 bits.
  constexpr UINT32 ConfigAddress(UINT32 reg) const {
    return kPciConfigWindowBase + (UINT32(Bus()) << 20) + (UINT32(Device()) << 15) + (UINT32(Function()) << 12) + reg;
  }
};

inline constexpr UINT32 kPciVendorDeviceOffset = 0x00;
inline constexpr UINT32 kPciDeviceIdOffset = 0x02;
inline constexpr UINT32 kPciCommandOffset = 0x04;
inline constexpr UINT32 kPciBar0Offset = 0x10;
inline constexpr UINT32 kPciSubordinateBusOffset = 0x1A;

static_assert(PciBdf::Of(0, 31, 0).ConfigAddress(kPciDeviceIdOffset) == 0xE00F8002);
static_assert(PciBdf{0x0208}.Bus() == 2 && PciBdf{0x0208}.Device() == 1 && PciBdf{0x0208}.Function() == 0);
static_assert(PciBdf::Of(0x12, 0, 0).ConfigAddress(0) == 0xE1200000);
