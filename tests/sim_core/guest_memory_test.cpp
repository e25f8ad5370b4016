// The helpers every model reads and writes guest memory with: bounded
// strings, pointers at the guest's width, GUIDs in their stored layout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/core/known_guids.h"
#include "tests/sim_core/fake_machine.h"

namespace boardsim::testing {
namespace {

GuestAddr StoreBytes(FakeMemory &memory, const std::string &bytes) {
  const GuestAddr address = memory.Allocate(bytes.size());
  memory.Write(address, bytes.data(), bytes.size());
  return address;
}

TEST(GuestMemoryHelpers, ReadCStringStopsAtNulWithinItsBound) {
  FakeMemory memory(8);
  const GuestAddr setup = StoreBytes(memory, std::string("Setup\0tail", 10));

  EXPECT_EQ(memory.ReadCString(setup), "Setup");
  // The NUL is the sixth byte: a bound of 6 still finds it, 5 does not.
  EXPECT_EQ(memory.ReadCString(setup, 6), "Setup");
  EXPECT_THROW(memory.ReadCString(setup, 5), GuestFault);
  EXPECT_THROW(memory.ReadCString(0), GuestFault);
}

TEST(GuestMemoryHelpers, PointersOnA32BitGuestAreFourBytes) {
  FakeMemory memory(4);
  const GuestAddr cell = memory.AllocateFilled(8, 0xEE);

  memory.WritePointer(cell, 0xFFFFFFFF);
  EXPECT_EQ(memory.ReadPointer(cell), 0xFFFFFFFFu);
  EXPECT_EQ(memory.Read32(cell + 4), 0xEEEEEEEEu);

  // A host-sized value cannot be handed to IA-32 code: refused, cell kept.
  EXPECT_THROW(memory.WritePointer(cell, 0x100000000ull), GuestFault);
  EXPECT_EQ(memory.Read64(cell), 0xEEEEEEEEFFFFFFFFull);
}

TEST(GuestMemoryHelpers, PointersOnA64BitGuestAreEightBytes) {
  FakeMemory memory(8);
  const GuestAddr cell = memory.AllocateFilled(8, 0xEE);

  memory.WritePointer(cell, 0x100000000ull);

  EXPECT_EQ(memory.ReadPointer(cell), 0x100000000ull);
}

TEST(GuestMemoryHelpers, GuidIsStoredInTheUefiLayout) {
  FakeMemory memory(4);
  const GuestAddr guid = memory.AllocateGuid(BoardHookPpiGuid());

  // {A0E5A45F-5374-46B3-B51E-D310B2C48AAE}: three little-endian fields, then 8 bytes in order.
  EXPECT_EQ(memory.ReadBytes(guid, 16), (std::vector<std::uint8_t>{0x5F, 0xA4, 0xE5, 0xA0, 0x74, 0x53, 0xB3, 0x46, 0xB5,
                                                                   0x1E, 0xD3, 0x10, 0xB2, 0xC4, 0x8A, 0xAE}));
  EXPECT_EQ(memory.ReadGuid(guid), BoardHookPpiGuid());
  EXPECT_EQ(GuidText(memory.ReadGuid(guid)), "A0E5A45F-5374-46B3-B51E-D310B2C48AAE");
  EXPECT_THROW(memory.ReadGuid(0), GuestFault);
}

}  // namespace
}  // namespace boardsim::testing
