#include "recording_registers.h"

#include <iomanip>

#include "hw/register_access.h"

namespace {

std::vector<RegisterAccess> &Accesses() {
  static std::vector<RegisterAccess> accesses;
  return accesses;
}

std::uint32_t Record(bool isWrite, unsigned width, std::uint32_t address, std::uint32_t value) {
  Accesses().push_back({isWrite, width, address, value});
  return value;
}

}  // namespace

std::ostream &operator<<(std::ostream &out, const RegisterAccess &access) {
  const std::ios_base::fmtflags flags = out.flags();
  out << (access.IsWrite ? "write" : "read") << access.Width << " 0x" << std::hex << std::uppercase << access.Address
      << " = 0x" << access.Value;
  out.flags(flags);
  return out;
}

const std::vector<RegisterAccess> &RegisterAccesses() { return Accesses(); }
void ClearRegisterAccesses() { Accesses().clear(); }

UINT8 MmioRead8(UINT32 Address) { return UINT8(Record(false, 8, Address, 0xFF)); }
UINT16 MmioRead16(UINT32 Address) { return UINT16(Record(false, 16, Address, 0xFFFF)); }
UINT32 MmioRead32(UINT32 Address) { return Record(false, 32, Address, 0xFFFFFFFF); }
void MmioWrite8(UINT32 Address, UINT8 Value) { Record(true, 8, Address, Value); }
void MmioWrite16(UINT32 Address, UINT16 Value) { Record(true, 16, Address, Value); }
void MmioWrite32(UINT32 Address, UINT32 Value) { Record(true, 32, Address, Value); }
