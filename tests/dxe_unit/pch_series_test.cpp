// Which PCH is fitted, and which group table follows from it.
#include "gpio_fixture.h"

namespace dxe_unit {
namespace {

using PchSeriesTest = GpioTest;

TEST_F(PchSeriesTest, DeviceIdIsOneSixteenBitReadOfTheLpcBridge) {
  FitPch(kHSeriesDeviceId);
  EXPECT_EQ(GetPchSeries(), kPchSeriesH);
  const std::vector<RegisterAccess> expected = {
      {.write = false, .width = 16, .address = kPchDeviceIdAddress, .value = kHSeriesDeviceId}};
  EXPECT_EQ(registers().Accesses(), expected);
}

TEST_F(PchSeriesTest, SkuBitsAreIgnoredButNothingAboveThem) {
  const struct {
    std::uint16_t deviceId;
    PchSeries series;
  } cases[] = {{0xA300, kPchSeriesH},       {0xA31F, kPchSeriesH},       {0x9D80, kPchSeriesLp},
               {0x9D9F, kPchSeriesLp},      {0xA320, kPchSeriesUnknown}, {0x9DA0, kPchSeriesUnknown},
               {0x2300, kPchSeriesUnknown}, {0xFFFF, kPchSeriesUnknown}};
  for (const auto &c : cases) {
    FreshBoardWithPch(c.deviceId);
    EXPECT_EQ(GetPchSeries(), c.series) << "device id 0x" << std::hex << c.deviceId;
  }
}

TEST_F(PchSeriesTest, RecognisedSeriesIsProbedOnce) {
  FitPch(kLpSeriesDeviceId);
  EXPECT_EQ(GetPchSeries(), kPchSeriesLp);
  FitPch(kHSeriesDeviceId);
  EXPECT_EQ(GetPchSeries(), kPchSeriesLp);
  EXPECT_EQ(registers().CountReads(kPchDeviceIdAddress), 1u);
}

TEST_F(PchSeriesTest, UnrecognisedPchIsProbedAgainUntilRecognised) {
  FitPch(kUnknownDeviceId);
  EXPECT_EQ(GetPchSeries(), kPchSeriesUnknown);
  EXPECT_EQ(GetPchSeries(), kPchSeriesUnknown);
  EXPECT_EQ(registers().CountReads(kPchDeviceIdAddress), 2u);

  // Every pad read re-probes too.
  UINT32 level = 0;
  GetInputValue(GpioPad{0x030A0000}, &level);
  const auto afterFirstRead = registers().CountReads(kPchDeviceIdAddress);
  EXPECT_GT(afterFirstRead, 2u);
  GetInputValue(GpioPad{0x030A0000}, &level);
  EXPECT_GT(registers().CountReads(kPchDeviceIdAddress), afterFirstRead);

  FitPch(kHSeriesDeviceId);
  EXPECT_EQ(GetPchSeries(), kPchSeriesH);
  const auto recognisedAt = registers().CountReads(kPchDeviceIdAddress);
  EXPECT_EQ(GetPchSeries(), kPchSeriesH);
  EXPECT_EQ(registers().CountReads(kPchDeviceIdAddress), recognisedAt);
}

TEST_F(PchSeriesTest, LpPchGetsTheLpTableAndEverythingElseTheHTable) {
  UINT32 count = 0;
  FitPch(kLpSeriesDeviceId);
  const GpioGroupInfo *lp = GetGroupTable(&count);
  ASSERT_EQ(count, 15u);
  // The LP table's last group has six pads in community 0x6A.
  EXPECT_EQ(lp[14].PortId, 0x6A);
  EXPECT_EQ(lp[14].PadCount, 6);

  FreshBoardWithPch(kHSeriesDeviceId);
  const GpioGroupInfo *h = GetGroupTable(&count);
  ASSERT_EQ(count, 17u);
  EXPECT_EQ(h[10].PortId, 0x6B);
  EXPECT_EQ(h[10].PadCount, 24);

  FreshBoardWithPch(kUnknownDeviceId);
  EXPECT_EQ(GetGroupTable(&count), h);
  EXPECT_EQ(count, 17u);
}

}  // namespace
}  // namespace dxe_unit
