// Every field of the driver's two GPIO group tables. The fields the driver
// reads (port, ownership offset, pad configuration base, pad count) are
// checked against the simulated PCH's own layout, which is kept apart from
// the firmware; the register offsets the driver only carries are pinned here
// from the PCH's register map.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>

#include "dxe/gpio_groups.h"
#include "sim/board/pch_gpio_layout.h"

namespace {

constexpr std::uint16_t N = 0xFFFF;  // the group has no such register

// Host ownership, GPI interrupt status and enable, GPE status and enable,
// SMI status and enable, NMI status and enable, pad configuration lock and
// lock TX.
using CarriedOffsets = std::array<std::uint16_t, 11>;

constexpr CarriedOffsets kHSeries[] = {
    {0xC0, 0x100, 0x120, 0x140, 0x160, N, N, N, N, 0x80, 0x84},                  // GPP_A
    {0xC4, 0x104, 0x124, 0x144, 0x164, 0x184, 0x1A4, 0x1C4, 0x1E4, 0x88, 0x8C},  // GPP_B
    {0xC0, 0x100, 0x120, 0x140, 0x160, 0x180, 0x1A0, 0x1C0, 0x1E0, 0x80, 0x84},  // GPP_C
    {0xC4, 0x104, 0x124, 0x144, 0x164, 0x184, 0x1A4, 0x1C4, 0x1E4, 0x88, 0x8C},  // GPP_D
    {0xC8, 0x108, 0x128, 0x148, 0x168, 0x188, 0x1A8, 0x1C8, 0x1E8, 0x90, 0x94},  // GPP_E
    {0xCC, 0x10C, 0x12C, 0x14C, 0x16C, N, N, N, N, 0x98, 0x9C},                  // GPP_F
    {0xC8, 0x108, 0x128, 0x148, 0x168, 0x188, 0x1A8, N, N, 0x90, 0x94},          // GPP_G
    {0xC4, 0x104, 0x124, 0x144, 0x164, N, N, N, N, 0x88, 0x8C},                  // GPP_H
    {0xC8, 0x108, 0x128, 0x148, 0x168, 0x188, 0x1A8, 0x1C8, 0x1E8, 0x90, 0x94},  // GPP_I
    {0xCC, 0x10C, 0x12C, 0x14C, 0x16C, N, N, N, N, 0x98, 0x9C},                  // GPP_J
    {0xC0, 0x100, 0x120, 0x140, 0x160, N, N, N, N, 0x80, 0x84},                  // GPP_K
    {0xB0, 0x100, 0x120, 0x140, 0x160, N, N, N, N, 0x80, 0x84},                  // GPD
    {0xD0, 0x110, 0x130, 0x150, 0x170, N, N, N, N, 0xA0, 0xA4},                  // VGPIO
    {0xD0, N, N, N, N, N, N, N, N, 0xA0, 0xA4},                                  // SPI
    {0xCC, N, N, N, N, N, N, N, N, 0x98, 0x9C},                                  // AZA
    {0xC0, N, N, N, N, N, N, N, N, 0x80, 0x84},                                  // CPU
    {0xC4, N, N, N, N, N, N, N, N, 0x88, 0x8C},                                  // JTAG
};

constexpr CarriedOffsets kLpSeries[] = {
    {0xB0, 0x100, 0x120, 0x140, 0x160, N, N, N, N, 0x80, 0x84},                  // GPP_A
    {0xB4, 0x104, 0x124, 0x144, 0x164, 0x184, 0x1A4, 0x1C4, 0x1E4, 0x88, 0x8C},  // GPP_B
    {0xB0, 0x100, 0x120, 0x140, 0x160, 0x180, 0x1A0, 0x1C0, 0x1E0, 0x80, 0x84},  // GPP_C
    {0xB0, 0x100, 0x120, 0x140, 0x160, 0x180, 0x1A0, 0x1C0, 0x1E0, 0x80, 0x84},  // GPP_D
    {0xB4, 0x104, 0x124, 0x144, 0x164, 0x184, 0x1A4, 0x1C4, 0x1E4, 0x88, 0x8C},  // GPP_E
    {0xB4, 0x104, 0x124, 0x144, 0x164, N, N, N, N, 0x88, 0x8C},                  // GPP_F
    {0xB8, 0x108, 0x128, 0x148, 0x168, N, N, N, N, 0x90, 0x94},                  // GPP_G
    {0xB8, 0x108, 0x128, 0x148, 0x168, N, N, N, N, 0x90, 0x94},                  // GPP_H
    {0xB0, 0x100, 0x120, 0x140, 0x160, N, N, N, N, 0x80, 0x84},                  // GPD
    {0xBC, 0x10C, 0x12C, 0x14C, 0x16C, N, N, N, N, 0x98, 0x9C},                  // VGPIO
    {0xBC, 0x10C, 0x12C, 0x14C, 0x16C, N, N, N, N, 0x98, 0x9C},                  // SPI
    {0xB0, 0x100, 0x120, 0x140, 0x160, N, N, N, N, 0x80, 0x84},                  // AZA
    {0xB4, N, N, N, N, N, N, N, N, 0x88, 0x8C},                                  // CPU
    {0xB8, N, N, N, N, N, N, N, N, 0x90, 0x94},                                  // JTAG
    {0xBC, 0x10C, 0x12C, 0x14C, 0x16C, N, N, N, N, 0x98, 0x9C},                  // HVMOS
};

void ExpectTableMatches(std::span<const GpioGroupInfo> firmware, boardsim::PchSeries series,
                        std::span<const CarriedOffsets> carried) {
  const auto silicon = boardsim::GpioGroups(series);
  ASSERT_EQ(firmware.size(), silicon.size());
  ASSERT_EQ(firmware.size(), carried.size());
  for (std::size_t i = 0; i < firmware.size(); ++i) {
    const GpioGroupInfo &group = firmware[i];
    SCOPED_TRACE(std::string(silicon[i].name) + " (group " + std::to_string(i) + ")");
    EXPECT_EQ(group.PortId, silicon[i].port);
    EXPECT_EQ(group.PadOwnershipOffset, silicon[i].ownershipOffset);
    EXPECT_EQ(group.PadConfigBaseOffset, silicon[i].padConfigBase);
    EXPECT_EQ(group.PadCount, silicon[i].padCount);
    const CarriedOffsets offsets = {
        group.HostOwnershipOffset, group.GpiInterruptStatusOffset, group.GpiInterruptEnableOffset,
        group.GpiGpeStatusOffset,  group.GpiGpeEnableOffset,       group.SmiStatusOffset,
        group.SmiEnableOffset,     group.NmiStatusOffset,          group.NmiEnableOffset,
        group.PadConfigLockOffset, group.PadConfigLockTxOffset};
    EXPECT_EQ(offsets, carried[i]);
  }
}

TEST(GpioGroupTables, HSeriesTableMatchesThePchInEveryField) {
  ExpectTableMatches(kHSeriesGpioGroups, boardsim::PchSeries::H, kHSeries);
}

TEST(GpioGroupTables, LpSeriesTableMatchesThePchInEveryField) {
  ExpectTableMatches(kLpSeriesGpioGroups, boardsim::PchSeries::LP, kLpSeries);
}

}  // namespace
