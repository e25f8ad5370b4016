// The PCI configuration window: the PCH's device id, the bridges' bus
// numbers, the Ethernet controllers' header, and empty locations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/hw/hardware_model.h"

namespace boardsim {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

BoardConfig Named(const std::string &name) { return NamedBoard(name).value(); }

// Configuration address of bus/device/function, register.
std::uint64_t Cfg(unsigned bus, unsigned device, unsigned function, unsigned reg) {
  return 0xE0000000u + (bus << 20) + (device << 15) + (function << 12) + reg;
}

TEST(PciConfig, PchDeviceIdAtBusZeroDevice31) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  EXPECT_EQ(hardware.Read(0xE00F8002, 16), 0xA305u);
  EXPECT_EQ(hardware.Read(0xE00F8000, 32), 0xA3058086u);
  EXPECT_EQ(hardware.Read(0xE00F8003, 8), 0xA3u);
  EXPECT_THAT(trace.Lines(),
              ElementsAre("R16 0xE00F8002 = 0xA305", "R32 0xE00F8000 = 0xA3058086", "R8 0xE00F8003 = 0xA3"));

  Trace lpTrace;
  HardwareModel lp(Named("lp-pch"), lpTrace);
  EXPECT_EQ(lp.Read(0xE00F8002, 16), 0x9D84u);
}

TEST(PciConfig, BridgesAnswerTheirBusNumbersAtAnyWidth) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  // Port 8's bridge 00:1C.0 and port 0x18E's bridge 00:1C.6.
  EXPECT_EQ(hardware.Read(Cfg(0, 0x1C, 0, 0x1A), 8), 0x02u);
  EXPECT_EQ(hardware.Read(Cfg(0, 0x1C, 6, 0x1A), 8), 0x05u);
  EXPECT_EQ(hardware.Read(Cfg(0, 0x1C, 4, 0x19), 8), 0x03u);
  EXPECT_EQ(hardware.Read(Cfg(0, 0x1C, 5, 0x18), 32), 0x00040400u);
  EXPECT_EQ(hardware.Read(Cfg(0, 0x1C, 5, 0x19), 16), 0x0404u);
  EXPECT_EQ(hardware.Read(Cfg(0, 0x1C, 0, 0x0E), 8), 0x01u);  // bridge header
  EXPECT_THAT(trace.Unexpecteds(), IsEmpty());
}

TEST(PciConfig, EmptyLocationsReadAllOnesAtEveryWidthAndIgnoreWrites) {
  Trace trace;
  HardwareModel hardware(Named("lan-empty-bus"), trace);

  EXPECT_EQ(hardware.Read(Cfg(2, 0, 0, 0), 8), 0xFFu);
  EXPECT_EQ(hardware.Read(Cfg(2, 0, 0, 0), 16), 0xFFFFu);
  EXPECT_EQ(hardware.Read(Cfg(2, 0, 0, 0), 32), 0xFFFFFFFFu);
  EXPECT_EQ(hardware.Read(Cfg(2, 0, 0, 0), 64), 0xFFFFFFFFFFFFFFFFu);
  hardware.Write(Cfg(2, 0, 0, 4), 8, 0x07);
  EXPECT_EQ(hardware.Read(Cfg(2, 0, 0, 4), 8), 0xFFu);
  EXPECT_EQ(hardware.CommandRegister(2), 0xFFu);
  // Probing an empty bus is ordinary.
  EXPECT_THAT(trace.Unexpecteds(), IsEmpty());
  EXPECT_EQ(trace.Lines().at(3), "R64 0xE0200000 = 0xFFFFFFFFFFFFFFFF");
}

TEST(PciConfig, EthernetControllerHeader) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  EXPECT_EQ(hardware.Read(Cfg(3, 0, 0, 0), 32), 0x15338086u);
  EXPECT_EQ(hardware.Read(Cfg(3, 0, 0, 4), 8), 0x06u);
  EXPECT_EQ(hardware.Read(Cfg(3, 0, 0, 4), 16), 0x0006u);
  EXPECT_EQ(hardware.Read(Cfg(3, 0, 0, 0x10), 32), 0xD0100000u);
  EXPECT_EQ(hardware.Read(Cfg(3, 0, 0, 0x14), 32), 0u);
  EXPECT_EQ(hardware.Read(Cfg(3, 0, 0, 0x0B), 8), 0x02u);  // network controller class
  // Device 1 of the same bus is empty.
  EXPECT_EQ(hardware.Read(Cfg(3, 1, 0, 0), 32), 0xFFFFFFFFu);
}

TEST(PciConfig, CommandWritesChangeTheRegisterAndAreCounted) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  hardware.Write(Cfg(3, 0, 0, 4), 8, 0x07);
  EXPECT_EQ(hardware.Read(Cfg(3, 0, 0, 4), 8), 0x07u);
  EXPECT_EQ(hardware.CommandRegister(3), 0x07u);
  hardware.Write(Cfg(3, 0, 0, 4), 16, 0x0406);
  EXPECT_EQ(hardware.Read(Cfg(3, 0, 0, 4), 32), 0x00000406u);
  EXPECT_EQ(hardware.CommandRegister(3), 0x06u);
  EXPECT_EQ(hardware.CommandWrites(3), 2u);
  // The other controllers are untouched.
  EXPECT_EQ(hardware.CommandRegister(2), 0x06u);
  EXPECT_EQ(hardware.CommandWrites(2), 0u);
  EXPECT_THAT(trace.Unexpecteds(), IsEmpty());
}

TEST(PciConfig, WritesToReadOnlyRegistersAreUnexpectedAndIgnored) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  hardware.Write(Cfg(3, 0, 0, 0x10), 32, 0xFFFFFFFF);
  hardware.Write(0xE00F8002, 16, 0x1234);

  EXPECT_EQ(hardware.Read(Cfg(3, 0, 0, 0x10), 32), 0xD0100000u);
  EXPECT_EQ(hardware.Read(0xE00F8002, 16), 0xA305u);
  EXPECT_THAT(trace.Unexpecteds(), ElementsAre("unexpected write32 0xE0300010: register 0x10 of 03:00.0 is read-only",
                                               "unexpected write16 0xE00F8002: register 0x02 of 00:1F.0 is read-only"));
}

TEST(PciConfig, LanVariantsChangeWhatSitsBehindTheBridges) {
  Trace trace;
  HardwareModel foreign(Named("lan-foreign-device"), trace);
  EXPECT_EQ(foreign.Read(Cfg(4, 0, 0, 0), 32), 0x15398086u);

  HardwareModel missing(Named("lan-missing-controller"), trace);
  EXPECT_EQ(missing.Read(Cfg(4, 0, 0, 0), 32), 0xFFFFFFFFu);
  EXPECT_EQ(missing.Read(Cfg(3, 0, 0, 0), 32), 0x15338086u);

  HardwareModel command(Named("lan-command-00"), trace);
  EXPECT_EQ(command.Read(Cfg(2, 0, 0, 4), 8), 0x00u);

  HardwareModel bar(Named("lan-bar-type-bits"), trace);
  EXPECT_EQ(bar.Read(Cfg(2, 0, 0, 0x10), 32), 0xD000000Cu);
  EXPECT_EQ(bar.Read(Cfg(2, 0, 0, 0x14), 32), 0x00000001u);
}

}  // namespace
}  // namespace boardsim
