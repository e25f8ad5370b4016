#include "sim/board/pch_gpio_layout.h"

#include <array>

#include "sim/board/address_map.h"

namespace boardsim {
namespace {

constexpr auto kSidebandBase = static_cast<std::uint32_t>(address_map::kSidebandBase);
constexpr std::uint32_t kInputPadDw0 = 0x44000100;

constexpr std::array<GpioGroupLayout, 17> kHGroups = {{
    {"GPP_A", 0x6E, 0x20, 0x600, 25},
    {"GPP_B", 0x6E, 0x30, 0x790, 26},
    {"GPP_C", 0x6D, 0x20, 0x600, 24},
    {"GPP_D", 0x6D, 0x2C, 0x780, 24},
    {"GPP_E", 0x6B, 0x38, 0x900, 13},
    {"GPP_F", 0x6B, 0x40, 0x9D0, 24},
    {"GPP_G", 0x6D, 0x38, 0x900, 8},
    {"GPP_H", 0x6B, 0x2C, 0x780, 24},
    {"GPP_I", 0x6A, 0x30, 0x740, 18},
    {"GPP_J", 0x6A, 0x3C, 0x860, 12},
    {"GPP_K", 0x6B, 0x20, 0x600, 24},
    {"GPD", 0x6C, 0x20, 0x600, 16},
    {"VGPIO", 0x6D, 0x40, 0xA00, 40},
    {"SPI", 0x6B, 0x4C, 0xB50, 9},
    {"AZA", 0x6D, 0x3C, 0x980, 8},
    {"CPU", 0x6A, 0x20, 0x600, 11},
    {"JTAG", 0x6A, 0x28, 0x6B0, 9},
}};

constexpr std::array<GpioGroupLayout, 15> kLpGroups = {{
    {"GPP_A", 0x6E, 0x20, 0x600, 25},
    {"GPP_B", 0x6E, 0x30, 0x790, 26},
    {"GPP_C", 0x6A, 0x20, 0x600, 24},
    {"GPP_D", 0x6D, 0x20, 0x600, 24},
    {"GPP_E", 0x6A, 0x2C, 0x780, 24},
    {"GPP_F", 0x6D, 0x30, 0x790, 24},
    {"GPP_G", 0x6E, 0x40, 0x930, 8},
    {"GPP_H", 0x6D, 0x3C, 0x910, 24},
    {"GPD", 0x6C, 0x20, 0x600, 16},
    {"VGPIO", 0x6D, 0x48, 0xA90, 40},
    {"SPI", 0x6E, 0x44, 0x9B0, 9},
    {"AZA", 0x6B, 0x20, 0x600, 8},
    {"CPU", 0x6B, 0x24, 0x680, 11},
    {"JTAG", 0x6A, 0x38, 0x900, 9},
    {"HVMOS", 0x6A, 0x40, 0x990, 6},
}};

}  // namespace

PchSeries SeriesOfDeviceId(std::uint16_t deviceId) {
  return (deviceId & 0xFFE0) == 0x9D80 ? PchSeries::LP : PchSeries::H;
}

std::string_view SeriesName(PchSeries series) { return series == PchSeries::LP ? "LP" : "H"; }

std::uint8_t ChipsetId(PchSeries series) { return series == PchSeries::LP ? 4 : 3; }

std::span<const GpioGroupLayout> GpioGroups(PchSeries series) {
  if (series == PchSeries::LP) return kLpGroups;
  return kHGroups;
}

std::optional<std::uint8_t> FindGpioGroup(PchSeries series, std::string_view name) {
  const auto groups = GpioGroups(series);
  for (std::size_t i = 0; i < groups.size(); ++i)
    if (groups[i].name == name) return static_cast<std::uint8_t>(i);
  return std::nullopt;
}

std::uint32_t EncodeGpioPad(PchSeries series, std::uint8_t group, std::uint16_t index) {
  return std::uint32_t{ChipsetId(series)} << 24 | std::uint32_t{group} << 16 | index;
}

std::optional<GpioPadId> DecodeGpioPad(std::uint32_t pad, std::string *why) {
  const auto fail = [why](std::string reason) -> std::optional<GpioPadId> {
    if (why != nullptr) *why = std::move(reason);
    return std::nullopt;
  };
  const unsigned chipset = pad >> 24;
  PchSeries series;
  if (chipset == ChipsetId(PchSeries::H)) {
    series = PchSeries::H;
  } else if (chipset == ChipsetId(PchSeries::LP)) {
    series = PchSeries::LP;
  } else {
    return fail("chipset id " + std::to_string(chipset) + " is neither 3 (H series) nor 4 (LP series)");
  }
  const auto groups = GpioGroups(series);
  const unsigned group = (pad >> 16) & 0xFF;
  const unsigned index = pad & 0xFFFF;
  if (group >= groups.size())
    return fail("the " + std::string(SeriesName(series)) + " series has " + std::to_string(groups.size()) +
                " groups (0.." + std::to_string(groups.size() - 1) + "), not group " + std::to_string(group));
  if (index >= groups[group].padCount)
    return fail(std::string(groups[group].name) + " of the " + std::string(SeriesName(series)) + " series has " +
                std::to_string(groups[group].padCount) + " pads (0.." + std::to_string(groups[group].padCount - 1) +
                "), not pad " + std::to_string(index));
  return GpioPadId{series, static_cast<std::uint8_t>(group), static_cast<std::uint16_t>(index)};
}

std::optional<GpioPadId> DecodeBoardPad(std::uint32_t pad, PchSeries fitted, std::string *why) {
  const auto decoded = DecodeGpioPad(pad, why);
  if (!decoded || decoded->series == fitted) return decoded;
  if (why != nullptr)
    *why = "chipset id " + std::to_string(pad >> 24) + " is the " + std::string(SeriesName(decoded->series)) +
           " series', but the board's PCH is of the " + std::string(SeriesName(fitted)) + " series (chipset id " +
           std::to_string(ChipsetId(fitted)) + ")";
  return std::nullopt;
}

std::string DescribeGpioPad(const GpioPadId &pad) {
  return std::string(GpioGroups(pad.series)[pad.group].name) + " " + std::to_string(pad.index) + " (" +
         std::string(SeriesName(pad.series)) + ")";
}

PadRegisterAddresses PadRegistersOf(const GpioPadId &pad) {
  const GpioGroupLayout &group = GpioGroups(pad.series)[pad.group];
  const std::uint32_t port = std::uint32_t{group.port} << 16;
  const std::uint32_t ownership = (group.ownershipOffset + (pad.index >> 3) * 4u) & 0xFFFF;
  const std::uint32_t dw0 = (group.padConfigBase + pad.index * 16u) & 0xFFFF;
  return {kSidebandBase | port | ownership, (pad.index & 7u) * 4u, kSidebandBase | port | dw0};
}

std::uint32_t InputPadDw0(unsigned level) { return kInputPadDw0 | (level != 0 ? kDw0RxStateBit : 0); }

}  // namespace boardsim
