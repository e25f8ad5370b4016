// EFI_STATUS crossing the guest boundary: on IA-32 it is 32 bits with the
// error bit at bit 31; the models always speak the 64-bit form.
#include <gtest/gtest.h>

#include <cstdint>

#include "sim/base/services.h"
#include "uefi/status.h"

namespace boardsim {
namespace {

constexpr std::uint64_t kStatuses[] = {EFI_SUCCESS,      EFI_WARN_UNKNOWN_GLYPH, EFI_INVALID_PARAMETER,
                                       EFI_DEVICE_ERROR, EFI_OUT_OF_RESOURCES,   EFI_NOT_FOUND,
                                       EFI_UNSUPPORTED,  EFI_BUFFER_TOO_SMALL};

TEST(GuestStatus, Ia32StatusesKeepTheirCodeAndMoveTheErrorBit) {
  EXPECT_EQ(StatusForGuest(EFI_NOT_FOUND, 4), 0x8000000Eu);
  EXPECT_EQ(StatusForGuest(EFI_OUT_OF_RESOURCES, 4), 0x80000009u);
  EXPECT_EQ(StatusForGuest(EFI_WARN_UNKNOWN_GLYPH, 4), 1u);
  EXPECT_EQ(StatusFromGuest(0x80000002u, 4), EFI_INVALID_PARAMETER);
  for (const std::uint64_t status : kStatuses) {
    EXPECT_EQ(StatusFromGuest(StatusForGuest(status, 4), 4), status) << std::hex << status;
    EXPECT_EQ(StatusFromGuest(StatusForGuest(status, 8), 8), status) << std::hex << status;
  }
}

TEST(GuestStatus, Ia32ResultIgnoresWhateverLiesAboveTheLow32Bits) {
  // An IA-32 routine leaves EDX and the upper half of the register undefined.
  EXPECT_EQ(StatusFromGuest(0xDEADBEEF8000000Eull, 4), EFI_NOT_FOUND);
  EXPECT_EQ(StatusFromGuest(0xFFFFFFFF00000000ull, 4), EFI_SUCCESS);
}

TEST(GuestStatus, X64StatusesPassUnchanged) {
  EXPECT_EQ(StatusForGuest(EFI_NOT_FOUND, 8), EFI_NOT_FOUND);
  EXPECT_EQ(StatusFromGuest(0x800000000000000Eull, 8), EFI_NOT_FOUND);
}

}  // namespace
}  // namespace boardsim
