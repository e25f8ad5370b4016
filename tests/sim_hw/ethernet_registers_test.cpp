// The Ethernet controllers' BAR-mapped registers: the MAC at the receive
// address register, read at any width, and the memory-space check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/hw/hardware_model.h"

namespace boardsim {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(EthernetRegisters, MacBytesAtTheReceiveAddressForEveryWidth) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);  // 02:00.0 at 0xD0000000, MAC 02:4B:52:56:37:01

  EXPECT_EQ(hardware.Read(0xD0005400, 8), 0x02u);
  EXPECT_EQ(hardware.Read(0xD0005405, 8), 0x01u);
  EXPECT_EQ(hardware.Read(0xD0005400, 16), 0x4B02u);
  EXPECT_EQ(hardware.Read(0xD0005404, 16), 0x0137u);
  EXPECT_EQ(hardware.Read(0xD0005400, 32), 0x56524B02u);
  EXPECT_EQ(hardware.Read(0xD0005402, 32), 0x01375652u);  // unaligned, still the same bytes
  EXPECT_EQ(hardware.Read(0xD0005404, 32), 0x00000137u);
  EXPECT_EQ(hardware.Read(0xD0005400, 64), 0x0000013756524B02u);
  EXPECT_EQ(hardware.Read(0xD0000000, 32), 0u);
  EXPECT_EQ(hardware.Read(0xD001FFFC, 32), 0u);

  EXPECT_EQ(trace.Lines().at(7), "R64 0xD0005400 = 0x0000013756524B02");
  EXPECT_EQ(trace.Lines().size(), 10u);  // a 64-bit read is one access
  EXPECT_THAT(trace.Unexpecteds(), IsEmpty());
}

TEST(EthernetRegisters, EachControllerAnswersItsOwnMacAtItsOwnBar) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);
  EXPECT_EQ(hardware.Read(0xD0105405, 8), 0x02u);
  EXPECT_EQ(hardware.Read(0xD0205405, 8), 0x03u);
  EXPECT_EQ(hardware.Read(0xD0305405, 8), 0x04u);
}

TEST(EthernetRegisters, AccessWithMemorySpaceDisabledIsUnexpectedButAnswered) {
  Trace trace;
  HardwareModel hardware(NamedBoard("lan-command-00").value(), trace);

  EXPECT_EQ(hardware.Read(0xD0005400, 32), 0x56524B02u);
  EXPECT_THAT(trace.Unexpecteds(),
              ElementsAre("unexpected read32 0xD0005400: memory space of 02:00.0 is disabled (Command 0x00)"));

  trace.Clear();
  hardware.Write(0xE0200004, 8, 0x07);
  EXPECT_EQ(hardware.Read(0xD0005400, 32), 0x56524B02u);
  EXPECT_THAT(trace.Unexpecteds(), IsEmpty());
}

TEST(EthernetRegisters, TypeBitsOfTheBarDoNotMoveTheWindow) {
  Trace trace;
  HardwareModel hardware(NamedBoard("lan-bar-type-bits").value(), trace);
  EXPECT_EQ(hardware.Read(0xD0005400, 32), 0x56524B02u);
  EXPECT_THAT(trace.Unexpecteds(), IsEmpty());
}

TEST(EthernetRegisters, ReceiveAddressIsWritableOtherRegistersAreNotModelled) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  hardware.Write(0xD0005404, 16, 0xBEEF);
  EXPECT_EQ(hardware.Read(0xD0005404, 16), 0xBEEFu);
  EXPECT_THAT(trace.Unexpecteds(), IsEmpty());

  hardware.Write(0xD0000000, 32, 1);
  EXPECT_THAT(trace.Unexpecteds(), ElementsAre("unexpected write32 0xD0000000: register 0x0000 of the Ethernet "
                                               "controller 02:00.0 is not modelled (only its receive address is)"));
}

}  // namespace
}  // namespace boardsim
