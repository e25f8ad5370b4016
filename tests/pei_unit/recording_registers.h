// A recording stand-in for the register accessors: every access is appended
// to one list, reads return all ones (nothing decoded).
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

struct RegisterAccess {
  bool IsWrite;
  unsigned Width;  // in bits
  std::uint32_t Address;
  std::uint32_t Value;

  bool operator==(const RegisterAccess &) const = default;
};

inline RegisterAccess Write32(std::uint32_t address, std::uint32_t value) { return {true, 32, address, value}; }

std::ostream &operator<<(std::ostream &out, const RegisterAccess &access);

// The accesses since the last call of ClearRegisterAccesses, in order.
const std::vector<RegisterAccess> &RegisterAccesses();
void ClearRegisterAccesses();
