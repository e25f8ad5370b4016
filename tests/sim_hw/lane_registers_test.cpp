// The PCH lane registers: writes are kept in order for the report, and read
// back as stored.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/hw/hardware_model.h"

namespace boardsim {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

MATCHER_P4(IsLaneWrite, port, offset, value, width, "") {
  return arg.port == port && arg.offset == offset && arg.value == value && arg.width == width;
}

TEST(LaneRegisters, WritesAreListedInOrderAndReadBack) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  hardware.Write(0xFDA81558, 32, 0x152F2800);
  hardware.Write(0xFDA81D58, 32, 0x152F2800);
  hardware.Write(0xFDAB0158, 32, 0x11);
  hardware.Write(0xFDAA0000, 32, 0x22);
  hardware.Write(0xFDA81558, 32, 0x33);

  EXPECT_THAT(hardware.LaneWrites(),
              ElementsAre(IsLaneWrite(0xA8, 0x1558, 0x152F2800u, 32u), IsLaneWrite(0xA8, 0x1D58, 0x152F2800u, 32u),
                          IsLaneWrite(0xAB, 0x0158, 0x11u, 32u), IsLaneWrite(0xAA, 0x0000, 0x22u, 32u),
                          IsLaneWrite(0xA8, 0x1558, 0x33u, 32u)));
  EXPECT_EQ(hardware.Read(0xFDA81558, 32), 0x33u);
  EXPECT_EQ(hardware.Read(0xFDA81D58, 32), 0x152F2800u);
  EXPECT_EQ(hardware.Read(0xFDA81958, 32), 0u);
  EXPECT_THAT(trace.Unexpecteds(), IsEmpty());
}

TEST(LaneRegisters, PortA9IsNotALanePort) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  hardware.Write(0xFDA91558, 32, 0x152F2800);

  EXPECT_THAT(hardware.LaneWrites(), IsEmpty());
  EXPECT_THAT(trace.Lines(),
              ElementsAre("W32 0xFDA91558 = 0x152F2800", "unexpected write32 0xFDA91558: no sideband port 0xA9"));
}

TEST(LaneRegisters, NarrowWritesAreListedWithTheirWidthAndFlagged) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);
  hardware.Write(0xFDA81558, 32, 0x152F2800);

  hardware.Write(0xFDA81559, 8, 0xAB);

  EXPECT_THAT(hardware.LaneWrites().back(), IsLaneWrite(0xA8, 0x1559, 0xABu, 8u));
  EXPECT_EQ(hardware.Read(0xFDA81558, 32), 0x152FAB00u);
  EXPECT_THAT(trace.Unexpecteds(),
              ElementsAre("unexpected write8 0xFDA81559: sideband registers take aligned 32-bit accesses"));
}

}  // namespace
}  // namespace boardsim
