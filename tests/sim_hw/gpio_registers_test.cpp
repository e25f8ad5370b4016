// The PCH's GPIO pad registers as the board model answers them: the riser
// pads of the H series, the other series' layout, and what the model does
// with registers no pad describes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/board/pch_gpio_layout.h"
#include "sim/hw/hardware_model.h"

namespace boardsim {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

BoardConfig Named(const std::string &name) { return NamedBoard(name).value(); }

TEST(GpioRegisters, ShippedRiserPadsAreHostOwnedAndReadZeroOneOneOne) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  EXPECT_EQ(hardware.Read(0xFD6B0020, 32), 0u);
  EXPECT_EQ(hardware.Read(0xFD6B0600, 32), 0x44000100u);
  EXPECT_EQ(hardware.Read(0xFD6B0610, 32), 0x44000102u);
  EXPECT_EQ(hardware.Read(0xFD6B0620, 32), 0x44000102u);
  EXPECT_EQ(hardware.Read(0xFD6B0630, 32), 0x44000102u);

  EXPECT_THAT(trace.Lines(),
              ElementsAre("R32 0xFD6B0020 = 0x00000000", "R32 0xFD6B0600 = 0x44000100", "R32 0xFD6B0610 = 0x44000102",
                          "R32 0xFD6B0620 = 0x44000102", "R32 0xFD6B0630 = 0x44000102"));
}

TEST(GpioRegisters, RiserVariantsChangeOnlyTheRxStateBit) {
  const auto dw0s = [](const std::string &name) {
    Trace trace;
    HardwareModel hardware(Named(name), trace);
    std::vector<std::uint64_t> values;
    for (std::uint32_t pad = 0; pad < 4; ++pad) values.push_back(hardware.Read(0xFD6B0600 + pad * 16, 32));
    return values;
  };
  EXPECT_THAT(dw0s("x8"), ElementsAre(0x44000100u, 0x44000100u, 0x44000102u, 0x44000102u));
  EXPECT_THAT(dw0s("no-riser"), ElementsAre(0x44000102u, 0x44000102u, 0x44000102u, 0x44000102u));
}

TEST(GpioRegisters, ForeignOwnerSitsInPadOnesNibble) {
  Trace trace;
  HardwareModel hardware(Named("foreign-owner"), trace);

  EXPECT_EQ(hardware.Read(0xFD6B0020, 32), 0x00000010u);
  EXPECT_EQ(hardware.Read(0xFD6B0600, 32), 0x44000102u);
  EXPECT_EQ(hardware.PadOwner(0x030A0001), 1u);
  EXPECT_EQ(hardware.PadOwner(0x030A0000), 0u);
}

TEST(GpioRegisters, LaterPadsUseLaterOwnershipRegistersAndNibbles) {
  BoardConfig board = ShippedBoard();
  board.pads[0x030A0009] = {2, 0};    // GPP_K 9: second register, nibble 1
  board.pads[0x030A0017] = {0xE, 0};  // GPP_K 23: third register, top nibble, upper bits kept
  Trace trace;
  HardwareModel hardware(board, trace);

  EXPECT_EQ(hardware.Read(0xFD6B0024, 32), 0x00000020u);
  EXPECT_EQ(hardware.Read(0xFD6B0028, 32), 0xE0000000u);
  EXPECT_EQ(hardware.PadOwner(0x030A0017), 2u);  // the agent is the nibble's low 2 bits
}

TEST(GpioRegisters, EachSeriesHasItsOwnLayout) {
  // GPP_E pad 5 lives in different communities on the two series.
  BoardConfig board = ShippedBoard();
  board.pads[0x03040005] = {1, 0x44000102};
  board.pads[0x04040005] = {3, 0x84000102};

  Trace hTrace;
  HardwareModel h(board, hTrace);
  EXPECT_EQ(h.Read(0xFD6B0038, 32), 0x00100000u);
  EXPECT_EQ(h.Read(0xFD6B0950, 32), 0x44000102u);
  EXPECT_EQ(h.Read(0xFD6A002C, 32), 0u);
  EXPECT_EQ(h.Read(0xFD6A07D0, 32), 0u);

  board.pchDeviceId = 0x9D84;
  Trace lpTrace;
  HardwareModel lp(board, lpTrace);
  EXPECT_EQ(lp.Series(), PchSeries::LP);
  EXPECT_EQ(lp.Read(0xFD6A002C, 32), 0x00300000u);
  EXPECT_EQ(lp.Read(0xFD6A07D0, 32), 0x84000102u);
  EXPECT_EQ(lp.Read(0xFD6B0038, 32), 0u);
  // The H-series riser pads are not on an LP PCH.
  EXPECT_EQ(lp.Read(0xFD6B0610, 32), 0u);
  EXPECT_EQ(lp.PadLevel(0x030A0001), std::nullopt);
  EXPECT_EQ(lp.PadLevel(0x04040005), 1u);
}

TEST(GpioRegisters, UnknownPchHasTheHLayout) {
  Trace trace;
  HardwareModel hardware(Named("unknown-pch"), trace);
  EXPECT_EQ(hardware.Series(), PchSeries::H);
  EXPECT_EQ(hardware.Read(0xFD6B0610, 32), 0x44000102u);
}

TEST(GpioRegisters, WritesAreTracedStoredAndSeenByInspection) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);
  EXPECT_EQ(hardware.PadLevel(0x030A0000), 0u);

  hardware.Write(0xFD6B0600, 32, 0x44000102);

  EXPECT_EQ(hardware.Read(0xFD6B0600, 32), 0x44000102u);
  EXPECT_EQ(hardware.PadLevel(0x030A0000), 1u);
  EXPECT_THAT(trace.Lines(), ElementsAre("W32 0xFD6B0600 = 0x44000102", "R32 0xFD6B0600 = 0x44000102"));
}

TEST(GpioRegisters, UndescribedRegistersReadZeroAndOtherPortsAreUnexpected) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  EXPECT_EQ(hardware.Read(0xFD6C0100, 32), 0u);
  EXPECT_THAT(trace.Unexpecteds(), IsEmpty());

  EXPECT_EQ(hardware.Read(0xFD120000, 32), 0xFFFFFFFFu);
  EXPECT_THAT(trace.Unexpecteds(), ElementsAre("unexpected read32 0xFD120000: no sideband port 0x12"));
}

TEST(GpioRegisters, NarrowOrMisalignedSidebandAccessesAreUnexpectedButAnswered) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  EXPECT_EQ(hardware.Read(0xFD6B0612, 16), 0x4400u);
  EXPECT_THAT(trace.Lines(), ElementsAre("R16 0xFD6B0612 = 0x4400",
                                         "unexpected read16 0xFD6B0612: sideband registers take aligned 32-bit "
                                         "accesses"));
}

}  // namespace
}  // namespace boardsim
