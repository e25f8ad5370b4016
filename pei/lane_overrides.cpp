#include "lane_overrides.h"

#include "hw/register_access.h"

namespace {

// This board's overrides: the same value for two lanes of port 0xA8, in this order.
constexpr LaneOverride kBoardLaneOverrides[] = {
    {.LaneIndex = 1, .LaneClass = 2, .RegisterOffset = 0x158, .Value = 0x152F2800},
    {.LaneIndex = 3, .LaneClass = 2, .RegisterOffset = 0x158, .Value = 0x152F2800},
};
constexpr UINTN kBoardLaneOverrideCount = sizeof(kBoardLaneOverrides) / sizeof(kBoardLaneOverrides[0]);

// Lane 19 and lane 21, the sixth and eighth lanes of port 0xA8.
static_assert(TargetOf(kBoardLaneOverrides[0]).Writes);
static_assert(TargetOf(kBoardLaneOverrides[0]).Register.Address() == 0xFDA81558);
static_assert(TargetOf(kBoardLaneOverrides[1]).Writes);
static_assert(TargetOf(kBoardLaneOverrides[1]).Register.Address() == 0xFDA81D58);

}  // namespace

void ApplyLaneOverrides(const LaneOverride *records, UINTN count) {
  for (UINTN i = 0; i < count; ++i) {
    const LaneOverrideTarget target = TargetOf(records[i]);
    if (target.Writes) {
      MmioWrite32(target.Register.Address(), records[i].Value);
    }
  }
}

void ApplyBoardLaneOverrides() { ApplyLaneOverrides(kBoardLaneOverrides, kBoardLaneOverrideCount); }
