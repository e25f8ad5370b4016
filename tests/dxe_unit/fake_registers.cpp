#include "fake_registers.h"

#include <algorithm>

#include "hw/register_access.h"

namespace dxe_unit {

void PrintTo(const RegisterAccess &access, std::ostream *out) {
  *out << (access.write ? "write" : "read") << std::dec << access.width << " 0x" << std::hex << std::uppercase
       << access.address << " = 0x" << access.value;
}

FakeRegisters &FakeRegisters::Instance() {
  static FakeRegisters instance;
  return instance;
}

void FakeRegisters::Reset() {
  values_.clear();
  accesses_.clear();
}

std::uint32_t FakeRegisters::Read(unsigned width, std::uint32_t address) {
  const auto found = values_.find(address);
  const std::uint32_t allOnes = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
  const std::uint32_t value = found == values_.end() ? allOnes : found->second & allOnes;
  accesses_.push_back({.write = false, .width = width, .address = address, .value = value});
  return value;
}

void FakeRegisters::Write(unsigned width, std::uint32_t address, std::uint32_t value) {
  accesses_.push_back({.write = true, .width = width, .address = address, .value = value});
  values_[address] = value;
}

std::size_t FakeRegisters::CountReads(std::uint32_t address) const {
  return static_cast<std::size_t>(std::count_if(accesses_.begin(), accesses_.end(), [address](const RegisterAccess &a) {
    return !a.write && a.address == address;
  }));
}

bool FakeRegisters::AnyWrite() const {
  return std::any_of(accesses_.begin(), accesses_.end(), [](const RegisterAccess &a) { return a.write; });
}

}  // namespace dxe_unit

// The seam the GPIO layer is linked against in this test program.
UINT8 MmioRead8(UINT32 Address) { return static_cast<UINT8>(dxe_unit::FakeRegisters::Instance().Read(8, Address)); }
UINT16 MmioRead16(UINT32 Address) { return static_cast<UINT16>(dxe_unit::FakeRegisters::Instance().Read(16, Address)); }
UINT32 MmioRead32(UINT32 Address) { return dxe_unit::FakeRegisters::Instance().Read(32, Address); }
void MmioWrite8(UINT32 Address, UINT8 Value) { dxe_unit::FakeRegisters::Instance().Write(8, Address, Value); }
void MmioWrite16(UINT32 Address, UINT16 Value) { dxe_unit::FakeRegisters::Instance().Write(16, Address, Value); }
void MmioWrite32(UINT32 Address, UINT32 Value) { dxe_unit::FakeRegisters::Instance().Write(32, Address, Value); }
