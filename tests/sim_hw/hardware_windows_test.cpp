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
