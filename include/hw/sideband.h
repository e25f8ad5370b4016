// The PCH sideband register window: a register is named by an 8-bit port id
// and a 16-bit offset inside the port.
#pragma once

#include "uefi/base_types.h"

inline constexpr UINT32 kSidebandWindowBase = 0xFD000000;

struct SidebandRegister {
  UINT8 Port;
  UINT16 Offset;

  constexpr UINT32 Address() const { return kSidebandWindowBase | (UINT32(Port) << 16) | Offset; }
};

// Offsets are formed in 32 bits and truncated to the port's 16 bits, so an
// overflowing offset wraps inside the port and never carries into the port id.
constexpr UINT16 TruncateSidebandOffset(UINT32 offset) { return UINT16(offset & 0xFFFF); }

static_assert(SidebandRegister{0x6B, 0x20}.Address() == 0xFD6B0020);
static_assert(SidebandRegister{0xA8, 0x1558}.Address() == 0xFDA81558);
static_assert(TruncateSidebandOffset(0x10158) == 0x0158);
