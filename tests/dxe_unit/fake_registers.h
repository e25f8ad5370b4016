// A recording stand-in for the register seam: reads answer from a map of
// register values (all ones where nothing is set, like an unclaimed address),
// and every access is logged in order with its width.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <vector>

namespace dxe_unit {

struct RegisterAccess {
  bool write = false;
  unsigned width = 0;
  std::uint32_t address = 0;
  std::uint32_t value = 0;

  friend bool operator==(const RegisterAccess &, const RegisterAccess &) = default;
};
// Readable failure messages: "read32 0xFD6B0020 = 0x0".
void PrintTo(const RegisterAccess &access, std::ostream *out);

class FakeRegisters {
 public:
  // The instance the seam functions use; tests reset it before each case.
  static FakeRegisters &Instance();

  void Reset();
  void Set(std::uint32_t address, std::uint32_t value) { values_[address] = value; }
  std::uint32_t Read(unsigned width, std::uint32_t address);
  void Write(unsigned width, std::uint32_t address, std::uint32_t value);

  const std::vector<RegisterAccess> &Accesses() const { return accesses_; }
  std::size_t CountReads(std::uint32_t address) const;
  bool AnyWrite() const;

 private:
  std::map<std::uint32_t, std::uint32_t> values_;
  std::vector<RegisterAccess> accesses_;
};

}  // namespace dxe_unit
