// The shape of every call that crosses between guest code and the models:
// how many arguments, how wide each is, and what comes back. Taken from the
// firmware's own function pointer types, so a change to a service's
// declaration changes how the emulator reads its arguments.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/base/machine.h"
#include "sim/base/services.h"

namespace boardsim::emulated {

// How wide a value is in its register or stack word: a fixed width, or the
// width of a pointer (UINTN, EFI_STATUS, every pointer), which is the
// machine's. A value narrower than its register leaves the upper bits
// undefined, so only its own bits are taken.
enum class Width : std::uint8_t { None, Bits8, Bits16, Bits32, Bits64, Natural };

struct CallShape {
  std::vector<Width> arguments;
  Width result = Width::None;
};

// Calls out of an image, into the models.
const CallShape &ShapeOf(Service service);
// Calls into an image.
const CallShape &ShapeOf(Signature signature);

// The value's own bits, zero-extended: for a machine with pointerSize-byte
// pointers.
std::uint64_t Truncate(std::uint64_t value, Width width, unsigned pointerSize);
unsigned Bits(Width width, unsigned pointerSize);

}  // namespace boardsim::emulated
