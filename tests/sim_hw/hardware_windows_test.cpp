// What the hardware model claims, what it does with the rest, and the boards
// it refuses to build.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/hw/hardware_model.h"

namespace boardsim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(HardwareWindows, SidebandPciAndEachControllersRegisters) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  std::vector<std::string> described;
  for (const auto &window : hardware.Windows()) {
    EXPECT_EQ(window.base % 4096, 0u) << window.name;
    EXPECT_EQ(window.size % 4096, 0u) << window.name;
    described.push_back(window.name + " " + std::to_string(window.base) + "+" + std::to_string(window.size));
  }
  EXPECT_THAT(described, ElementsAre("sideband 4244635648+16777216", "pci-config 3758096384+268435456",
                                     "ethernet 02:00.0 3489660928+131072", "ethernet 03:00.0 3490709504+131072",
                                     "ethernet 04:00.0 3491758080+131072", "ethernet 05:00.0 3492806656+131072"));

  EXPECT_TRUE(hardware.Claims(0xFDFFFFFF));
  EXPECT_TRUE(hardware.Claims(0xE0000000));
  EXPECT_TRUE(hardware.Claims(0xD001FFFF));
  EXPECT_FALSE(hardware.Claims(0xD0020000));
  EXPECT_FALSE(hardware.Claims(0xFE000000));
}

TEST(HardwareWindows, UnclaimedAccessesAreUnexpectedAndReadAllOnes) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);

  EXPECT_EQ(hardware.Read(0x12345678, 32), 0xFFFFFFFFu);
  EXPECT_EQ(hardware.Read(0xD0020000, 8), 0xFFu);
  hardware.Write(0x1000, 16, 0xABCD);

  EXPECT_THAT(trace.Lines(), ElementsAre("R32 0x12345678 = 0xFFFFFFFF", "unexpected read32 0x12345678: no device",
                                         "R8 0xD0020000 = 0xFF", "unexpected read8 0xD0020000: no device",
                                         "W16 0x00001000 = 0xABCD", "unexpected write16 0x00001000: no device"));
}

TEST(HardwareWindows, OnlyTheFourAccessWidthsExist) {
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);
  EXPECT_THROW(hardware.Read(0xE0000000, 24), std::invalid_argument);
  EXPECT_THROW(hardware.Write(0xE0000000, 0, 0), std::invalid_argument);
}

TEST(HardwareWindows, ClashingHardwareIsRefusedByField) {
  Trace trace;
  BoardConfig sharedBar = ShippedBoard();
  sharedBar.endpoints[1].bar0 = sharedBar.endpoints[0].bar0;
  try {
    HardwareModel hardware(sharedBar, trace);
    FAIL() << "two controllers decoding the same addresses were accepted";
  } catch (const std::invalid_argument &error) {
    EXPECT_THAT(error.what(), HasSubstr("endpoints[1].bar0: the register window 0xD0000000..0xD001FFFF overlaps "
                                        "endpoints[0]'s registers"));
  }

  BoardConfig misaligned = ShippedBoard();
  misaligned.endpoints[1].bar0 = 0xD0110000;
  try {
    HardwareModel hardware(misaligned, trace);
    FAIL() << "a BAR inside its own 128 KiB window was accepted";
  } catch (const std::invalid_argument &error) {
    EXPECT_THAT(error.what(), HasSubstr("endpoints[1].bar0: 0xD0110000 is not aligned"));
  }

  BoardConfig sharedLocation = ShippedBoard();
  sharedLocation.bridges[1].bdf = 0x00F8;
  EXPECT_THROW(HardwareModel(sharedLocation, trace), std::invalid_argument);

  BoardConfig barInSideband = ShippedBoard();
  barInSideband.endpoints[2].bar0 = 0xFD020000;
  try {
    HardwareModel hardware(barInSideband, trace);
    FAIL() << "a BAR inside the sideband window was accepted";
  } catch (const std::invalid_argument &error) {
    EXPECT_THAT(error.what(), HasSubstr("endpoints[2].bar0: the register window 0xFD020000..0xFD03FFFF overlaps the "
                                        "sideband window"));
  }
}

}  // namespace
}  // namespace boardsim

namespace boardsim {
namespace {

// The trace's column: what each register is, named by the model that
// answered, on the shipped board (H series, controllers on buses 2 to 5).
TEST(HardwareWindows, EachAccessSaysWhatTheRegisterIs) {
  struct Case {
    bool write;
    std::uint64_t address;
    unsigned width;
    const char *line;
  };
  const Case cases[] = {
      {false, 0xFD6B0020, 32, "R32 0xFD6B0020 = 0x00000000  GPP_K pad ownership, pads 0-7"},
      {false, 0xFD6B0024, 32, "R32 0xFD6B0024 = 0x00000000  GPP_K pad ownership, pads 8-15"},
      {false, 0xFD6B0634, 32, "R32 0xFD6B0634 = 0x00000000  GPP_K pad 3 DW1"},
      {false, 0xFD6B0780, 32, "R32 0xFD6B0780 = 0x00000000  GPP_H pad 0 DW0"},
      {false, 0xFD6B0010, 32, "R32 0xFD6B0010 = 0x00000000  GPIO community 0x6B register 0x0010"},
      {true, 0xFDA81558, 32, "W32 0xFDA81558 = 0x00000000  lane register 0x1558 of port 0xA8"},
      {false, 0xE00F8002, 16, "R16 0xE00F8002 = 0xA305  PCH device id (0:31.0 +0x02)"},
      {false, 0xE00F8000, 32, "R32 0xE00F8000 = 0xA3058086  PCH vendor id, device id (0:31.0 +0x00)"},
      {false, 0xE00E001A, 8, "R8 0xE00E001A = 0x02  PCI bridge 0:28.0 subordinate bus"},
      {true, 0xE0200004, 8, "W8 0xE0200004 = 0x00  Ethernet controller 2:0.0 Command"},
      {false, 0xE0700000, 32, "R32 0xE0700000 = 0xFFFFFFFF  no PCI function 7:0.0 (reads all ones)"},
      {false, 0xD0005404, 16, "R16 0xD0005404 = 0x0137  Ethernet controller 2:0.0 receive address, bytes 4-5"},
      {false, 0xD0105400, 8, "R8 0xD0105400 = 0x02  Ethernet controller 3:0.0 receive address, byte 0"},
      {false, 0x12345678, 32, "R32 0x12345678 = 0xFFFFFFFF  unclaimed: no device"},
  };
  for (const Case &c : cases) {
    Trace trace;
    HardwareModel hardware(ShippedBoard(), trace);
    if (c.write) {
      hardware.Write(0xE0200004, 8, 0x06);  // memory space on, so the write below is ordinary
      hardware.Write(c.address, c.width, 0);
    } else {
      hardware.Write(0xE0200004, 8, 0x06);
      hardware.Write(0xE0300004, 8, 0x06);
      hardware.Read(c.address, c.width);
    }
    ASSERT_GE(trace.Entries().size(), 2u);
    EXPECT_EQ(trace.NamedEntries()[c.write ? 1 : 2].Line(), c.line);
  }
}

}  // namespace
}  // namespace boardsim
