// Pad validity, ownership and level reads against each series' group table.
#include "gpio_fixture.h"
#include "uefi/status.h"

namespace dxe_unit {
namespace {

using PadValidityTest = GpioTest;

TEST_F(PadValidityTest, HSeriesChecksChipsetGroupAndPadBounds) {
  FitPch(kHSeriesDeviceId);
  EXPECT_TRUE(IsPadValid(GpioPad{0x030A0017}));   // GPP_K pad 23, its last
  EXPECT_FALSE(IsPadValid(GpioPad{0x030A0018}));  // GPP_K has 24 pads
  EXPECT_TRUE(IsPadValid(GpioPad{0x03100008}));   // group 16, last pad
  EXPECT_FALSE(IsPadValid(GpioPad{0x03110000}));  // only 17 groups
  EXPECT_FALSE(IsPadValid(GpioPad{0x030AFFFF}));
  EXPECT_FALSE(IsPadValid(GpioPad{0x030A0100}));  // pad 256: the pad number is 16 bits, not 8
  EXPECT_FALSE(IsPadValid(GpioPad{0x040A0000}));  // an LP pad
}

TEST_F(PadValidityTest, LpSeriesRejectsHPadsAndUsesItsOwnTable) {
  FitPch(kLpSeriesDeviceId);
  EXPECT_FALSE(IsPadValid(GpioPad{0x030A0000}));
  EXPECT_TRUE(IsPadValid(GpioPad{0x040E0005}));  // group 14 has 6 pads
  EXPECT_FALSE(IsPadValid(GpioPad{0x040E0006}));
  EXPECT_FALSE(IsPadValid(GpioPad{0x040F0000}));  // only 15 groups
  // Group 10 has 24 pads on H but 9 on LP.
  EXPECT_TRUE(IsPadValid(GpioPad{0x040A0008}));
  EXPECT_FALSE(IsPadValid(GpioPad{0x040A0009}));
}

TEST_F(PadValidityTest, UnrecognisedPchIsTreatedAsHSeries) {
  FitPch(kUnknownDeviceId);
  EXPECT_TRUE(IsPadValid(GpioPad{0x030A0017}));
  EXPECT_FALSE(IsPadValid(GpioPad{0x030A0018}));
  EXPECT_FALSE(IsPadValid(GpioPad{0x040E0005}));
}

using PadOwnershipTest = GpioTest;

TEST_F(PadOwnershipTest, OwnerIsTheLowTwoBitsOfThePadsNibble) {
  FitPch(kHSeriesDeviceId);
  // GPP_K pads 0..7 share the register at 0x20 of port 0x6B; pad 2 has bits 11..8.
  const struct {
    std::uint32_t reg;
    UINT32 owner;
  } cases[] = {{0x00000000, 0}, {0x00000100, 1}, {0x00000200, 2}, {0x00000C00, 0}, {0xFFFFF0FF, 0}, {0xFFFFFFFF, 3}};
  for (const auto &c : cases) {
    registers().Set(0xFD6B0020, c.reg);
    UINT32 owner = 0xAA;
    EXPECT_EQ(GetPadOwnership(GpioPad{0x030A0002}, &owner), EFI_SUCCESS);
    EXPECT_EQ(owner, c.owner) << "ownership register 0x" << std::hex << c.reg;
  }
}

TEST_F(PadOwnershipTest, LaterPadsUseTheNextRegister) {
  FitPch(kHSeriesDeviceId);
  registers().Set(0xFD6B0020, 0);
  registers().Set(0xFD6B0024, 0x00002000);  // pad 11: bits 15..12 of the second register
  UINT32 owner = 0;
  EXPECT_EQ(GetPadOwnership(GpioPad{0x030A000B}, &owner), EFI_SUCCESS);
  EXPECT_EQ(owner, 2u);
  EXPECT_EQ(registers().Accesses().back(), (RegisterAccess{false, 32, 0xFD6B0024, 0x00002000}));
}

TEST_F(PadOwnershipTest, InvalidPadTouchesNoGpioRegister) {
  FitPch(kLpSeriesDeviceId);
  UINT32 owner = 0x55;
  EXPECT_EQ(GetPadOwnership(GpioPad{0x030A0000}, &owner), EFI_INVALID_PARAMETER);
  EXPECT_EQ(owner, 0x55u);
  for (const RegisterAccess &access : registers().Accesses()) {
    EXPECT_EQ(access.address, kPchDeviceIdAddress);
  }
}

using PadLevelTest = GpioTest;

TEST_F(PadLevelTest, RiserPadsReadOwnershipThenDw0OfTheirOwnPad) {
  FitPch(kHSeriesDeviceId);
  ASSERT_EQ(GetPchSeries(), kPchSeriesH);  // probed once, before the pads
  registers().Set(0xFD6B0020, 0);
  for (std::uint32_t pad = 0; pad < 4; ++pad) {
    const std::uint32_t dw0 = 0xFD6B0600 + pad * 16;
    registers().Set(dw0, 0x44000002);
    UINT32 level = 0;
    const auto before = registers().Accesses().size();
    EXPECT_EQ(GetInputValue(GpioPad{0x030A0000 + pad}, &level), EFI_SUCCESS);
    EXPECT_EQ(level, 1u);
    const std::vector<RegisterAccess> reads(registers().Accesses().begin() + static_cast<std::ptrdiff_t>(before),
                                            registers().Accesses().end());
    const std::vector<RegisterAccess> expected = {{false, 32, 0xFD6B0020, 0}, {false, 32, dw0, 0x44000002}};
    EXPECT_EQ(reads, expected) << "pad " << pad;
  }
  EXPECT_FALSE(registers().AnyWrite());
}

TEST_F(PadLevelTest, LevelIsTheRxStateBitAlone) {
  FitPch(kLpSeriesDeviceId);
  // LP GPP_C pad 9: ownership at 0x24 of port 0x6A, DW0 at 0x600 + 9 * 16.
  registers().Set(0xFD6A0024, 0xFFFFFF0F);
  UINT32 level = 7;
  registers().Set(0xFD6A0690, 0xFFFFFFFD);
  EXPECT_EQ(GetInputValue(GpioPad{0x04020009}, &level), EFI_SUCCESS);
  EXPECT_EQ(level, 0u);
  registers().Set(0xFD6A0690, 0x00000002);
  EXPECT_EQ(GetInputValue(GpioPad{0x04020009}, &level), EFI_SUCCESS);
  EXPECT_EQ(level, 1u);
}

TEST_F(PadLevelTest, FailedReadsLeaveTheLevelUnwrittenAndDw0Unread) {
  FitPch(kHSeriesDeviceId);
  registers().Set(0xFD6B0600, 0x2);
  for (const std::uint32_t otherOwner : {0x1u, 0x2u, 0x3u}) {
    registers().Set(0xFD6B0020, otherOwner);
    UINT32 level = 7;
    EXPECT_EQ(GetInputValue(GpioPad{0x030A0000}, &level), EFI_UNSUPPORTED);
    EXPECT_EQ(level, 7u);
  }
  UINT32 level = 7;
  EXPECT_EQ(GetInputValue(GpioPad{0x030A0018}, &level), EFI_INVALID_PARAMETER);
  EXPECT_EQ(level, 7u);
  EXPECT_EQ(registers().CountReads(0xFD6B0600), 0u);
}

TEST(GpioRegisterAddressTest, OffsetsWrapInsideThePort) {
  GpioGroupInfo group{};
  group.PortId = 0x6B;
  group.PadOwnershipOffset = 0xFFFC;
  group.PadConfigBaseOffset = 0xFFF0;
  EXPECT_EQ(PadOwnershipRegister(group, 8).Address(), 0xFD6B0000u);
  EXPECT_EQ(PadConfigDw0Register(group, 2).Address(), 0xFD6B0010u);
}

}  // namespace
}  // namespace dxe_unit
