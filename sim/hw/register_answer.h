// What one part of the hardware model answers to a register access: the
// value (reads) and, when the access is not one the hardware expects, why.
#pragma once

#include <cstdint>
#include <string>

namespace boardsim {

struct RegisterAnswer {
  std::uint64_t value = 0;
  std::string problem;  // empty for an ordinary access
};

// All ones of an access width in bits (8, 16, 32 or 64).
constexpr std::uint64_t WidthMask(unsigned width) {
  return width >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1;
}

}  // namespace boardsim
