// Where the PCH keeps each GPIO pad's registers, as the silicon lays them
// out. The board model keeps this description apart from the firmware's own
// group tables, so that a wrong firmware table shows up as accesses to the
// wrong registers instead of being agreed with.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace boardsim {

enum class PchSeries : std::uint8_t { H, LP };

// The series a PCH device id belongs to: LP for id & 0xFFE0 == 0x9D80; every
// other id (recognised H parts and unknown ones alike) has the H layout.
PchSeries SeriesOfDeviceId(std::uint16_t deviceId);
std::string_view SeriesName(PchSeries series);  // "H", "LP"
// The chipset id in bits 31..24 of a GpioPad of that series.
std::uint8_t ChipsetId(PchSeries series);

// One pad group: its community's sideband port, its pad-ownership registers
// (four bits per pad, eight pads per register) and its pad-configuration
// registers (DW0 of pad n at padConfigBase + n * 16).
struct GpioGroupLayout {
  std::string_view name;
  std::uint8_t port;
  std::uint16_t ownershipOffset;
  std::uint16_t padConfigBase;
  std::uint16_t padCount;
};

std::span<const GpioGroupLayout> GpioGroups(PchSeries series);
std::optional<std::uint8_t> FindGpioGroup(PchSeries series, std::string_view name);

// A GpioPad value taken apart: chipset id 31..24, group 23..16, pad 15..0.
struct GpioPadId {
  PchSeries series;
  std::uint8_t group;
  std::uint16_t index;
};

std::uint32_t EncodeGpioPad(PchSeries series, std::uint8_t group, std::uint16_t index);
// Empty if the value names no pad of either series; `why` then says what is
// wrong with it ("GPP_K of the H series has 24 pads (0..23)").
std::optional<GpioPadId> DecodeGpioPad(std::uint32_t pad, std::string *why = nullptr);
// As DecodeGpioPad, and also empty if the pad belongs to the other series
// than the fitted PCH's: a board has only its own PCH's pads.
std::optional<GpioPadId> DecodeBoardPad(std::uint32_t pad, PchSeries fitted, std::string *why = nullptr);
// "GPP_K 1 (H)"
std::string DescribeGpioPad(const GpioPadId &pad);

// The sideband addresses of one pad's ownership register (the pad's nibble
// starts at ownershipShift) and of its DW0 register.
struct PadRegisterAddresses {
  std::uint32_t ownership;
  unsigned ownershipShift;
  std::uint32_t dw0;
};
PadRegisterAddresses PadRegistersOf(const GpioPadId &pad);

// DW0 of a pad set up as a plain GPIO input, as the board configures its
// riser pads: reset by deep reset, GPIO mode, output buffer disabled, input
// buffer enabled; bit 1 carries the level the pad receives.
std::uint32_t InputPadDw0(unsigned level);
inline constexpr std::uint32_t kDw0RxStateBit = 1u << 1;

}  // namespace boardsim
