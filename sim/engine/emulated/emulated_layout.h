// Where things live in the emulated machines' physical address space. Both
// machines (the x64 DXE phase and the IA-32 PEI phase) use one map, all of it
// below 4 GiB so that every address fits a 32-bit pointer.
#pragma once

#include <cstdint>

#include "sim/image/firmware_layout.h"

namespace boardsim::emulated {

inline constexpr std::uint64_t kPageSize = 0x1000;

// Two pages of int3: every service entry and every unfilled table slot is
// one byte of the first; the return sentinel is the first byte of the second.
// Reaching one stops the machine: the sentinel is the emulator's exit, and an
// entry's int3 raises the breakpoint on which the machine serves the call.
// Nothing lies below, so that a NULL or near-NULL pointer faults instead of
// reading something.
inline constexpr std::uint64_t kTrapPage = 0x00100000;

// Executable scratch space for machine code the host places (engine tests).
inline constexpr std::uint64_t kScratchCodeBase = 0x00110000;
inline constexpr std::uint64_t kScratchCodeSize = 0x00010000;

// Memory the models hand to guest code: tables, pool, buffers.
inline constexpr std::uint64_t kHeapBase = 0x00200000;
inline constexpr std::uint64_t kHeapSize = 0x00E00000;

// BoardDxe is loaded here, away from its link base, and relocated.
inline constexpr std::uint64_t kDxeLoadAddress = 0x01000000;
inline constexpr std::uint64_t kDxeImageRoom = 0x00100000;

// The stack guest code runs on; the pages around it are unmapped.
inline constexpr std::uint64_t kStackBase = 0x02000000;
inline constexpr std::uint64_t kStackSize = 0x00100000;
inline constexpr std::uint64_t kStackTop = kStackBase + kStackSize;

// The memory-mapped I/O hole below the boot flash: every access in it goes to
// the hardware model, which answers for its windows and reports the rest
// (read as all ones), as an unclaimed bus cycle would.
inline constexpr std::uint64_t kMmioHoleBase = 0x80000000;
inline constexpr std::uint64_t kMmioHoleEnd = firmware_layout::kBootFlashBase;

// The boot flash (PEI machine only): read-only, erased except for BoardPei.
inline constexpr std::uint64_t kBootFlashBase = firmware_layout::kBootFlashBase;
inline constexpr std::uint64_t kBootFlashSize = firmware_layout::kBootFlashSize;

static_assert(kTrapPage + 2 * kPageSize <= kScratchCodeBase);
static_assert(kScratchCodeBase + kScratchCodeSize <= kHeapBase);
static_assert(kHeapBase + kHeapSize <= kDxeLoadAddress);
static_assert(kDxeLoadAddress + kDxeImageRoom <= kStackBase);
static_assert(kStackTop <= kMmioHoleBase);
static_assert(kMmioHoleEnd == kBootFlashBase && kBootFlashBase + kBootFlashSize == 0x100000000ull);

}  // namespace boardsim::emulated
