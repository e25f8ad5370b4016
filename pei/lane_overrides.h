// The board's lane register overrides: constant values written into the
// PCH's lane registers through the sideband window before memory is up.
#pragma once

#include "hw/sideband.h"
#include "uefi/base_types.h"

// One override. A record names its lane indirectly, by class and index; a
// class other than 0, 1 or 2 makes the record inert.
struct LaneOverride {
  UINT8 LaneIndex;
  UINT8 LaneClass;
  UINT16 RegisterOffset;  // within the lane's 1 KiB window; larger values reach later lanes
  UINT32 Value;
};
static_assert(sizeof(LaneOverride) == 8);
static_assert(__builtin_offsetof(LaneOverride, LaneClass) == 1);
static_assert(__builtin_offsetof(LaneOverride, RegisterOffset) == 2);
static_assert(__builtin_offsetof(LaneOverride, Value) == 4);

// The PCH numbers its lanes 0 to 29.
inline constexpr UINT8 kLastLane = 29;
inline constexpr UINT32 kLaneWindowSize = 0x400;

// What each lane class adds to the index, in 8-bit arithmetic (class 1 steps back one lane).
inline constexpr UINT8 kLaneClassBase[] = {5, UINT8(-1), 18};
inline constexpr UINT8 kLaneClassCount = sizeof(kLaneClassBase) / sizeof(kLaneClassBase[0]);

// The lanes are spread over three sideband ports; each port's lanes start at
// FirstLane and run up to the next entry's FirstLane.
struct LanePort {
  UINT8 FirstLane;
  UINT8 Port;
};
inline constexpr LanePort kLanePorts[] = {
    {.FirstLane = 0, .Port = 0xAB},
    {.FirstLane = 10, .Port = 0xAA},
    {.FirstLane = 14, .Port = 0xA8},  // the third port is 0xA8; 0xA9 holds no lanes
};
inline constexpr UINTN kLanePortCount = sizeof(kLanePorts) / sizeof(kLanePorts[0]);

// The register a record writes; Writes is false when the record writes nothing
// (inert class, or a lane number beyond the last lane).
struct LaneOverrideTarget {
  bool Writes;
  SidebandRegister Register;
};

constexpr LaneOverrideTarget TargetOf(const LaneOverride &record) {
  if (record.LaneClass >= kLaneClassCount) {
    return {.Writes = false, .Register = {}};
  }
  const UINT8 lane = UINT8(record.LaneIndex + kLaneClassBase[record.LaneClass]);
  if (lane > kLastLane) {
    return {.Writes = false, .Register = {}};
  }
  LanePort port = kLanePorts[0];
  for (UINTN i = 1; i < kLanePortCount; ++i) {
    if (lane >= kLanePorts[i].FirstLane) {
      port = kLanePorts[i];
    }
  }
  const UINT32 offset = UINT32(lane - port.FirstLane) * kLaneWindowSize + record.RegisterOffset;
  return {.Writes = true, .Register = {.Port = port.Port, .Offset = TruncateSidebandOffset(offset)}};
}

// Writes each record's value once, in order, with one 32-bit store; no read-back.
void ApplyLaneOverrides(const LaneOverride *records, UINTN count);

// Applies this board's own table.
void ApplyBoardLaneOverrides();
