// Each case starts on a board whose PCH has not been probed yet, with no
// register set: an unset register reads all ones.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "dxe/gpio.h"
#include "fake_registers.h"

namespace dxe_unit {

inline constexpr std::uint32_t kPchDeviceIdAddress = 0xE00F8002;
inline constexpr std::uint16_t kHSeriesDeviceId = 0xA305;
inline constexpr std::uint16_t kLpSeriesDeviceId = 0x9D84;
inline constexpr std::uint16_t kUnknownDeviceId = 0xA1C3;

class GpioTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshBoard(); }

  // A fresh driver image on a board whose registers are all unset.
  static void FreshBoard() {
    registers().Reset();
    gPchSeries = kPchSeriesUnknown;
  }
  static void FreshBoardWithPch(std::uint16_t deviceId) {
    FreshBoard();
    FitPch(deviceId);
  }

  static FakeRegisters &registers() { return FakeRegisters::Instance(); }
  static void FitPch(std::uint16_t deviceId) { registers().Set(kPchDeviceIdAddress, deviceId); }
};

}  // namespace dxe_unit
