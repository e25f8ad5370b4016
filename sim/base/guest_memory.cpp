#include "sim/base/guest_memory.h"

#include <cstdio>
#include <stdexcept>

namespace boardsim {

void GuestMemory::WritePointer(GuestAddr a, GuestAddr v) {
  if (PointerSize() == 8) {
    Write64(a, v);
  } else {
    if (v > 0xFFFFFFFFu) throw GuestFault("pointer 0x" + std::to_string(v) + " does not fit a 32-bit guest");
    Write32(a, static_cast<std::uint32_t>(v));
  }
}

Guid GuestMemory::ReadGuid(GuestAddr a) {
  if (a == 0) throw GuestFault("GUID pointer is NULL");
  Guid guid;
  guid.data1 = Read32(a);
  guid.data2 = Read16(a + 4);
  guid.data3 = Read16(a + 6);
  Read(a + 8, guid.data4, sizeof guid.data4);
  return guid;
}

GuestAddr GuestMemory::AllocateGuid(const Guid &guid) {
  const GuestAddr a = Allocate(16);
  Write32(a, guid.data1);
  Write16(a + 4, guid.data2);
  Write16(a + 6, guid.data3);
  Write(a + 8, guid.data4, sizeof guid.data4);
  return a;
}

std::string GuestMemory::ReadCString(GuestAddr a, std::size_t max) {
  if (a == 0) throw GuestFault("string pointer is NULL");
  std::string text;
  for (std::size_t i = 0; i < max; ++i) {
    const char c = static_cast<char>(Read8(a + i));
    if (c == '\0') return text;
    text.push_back(c);
  }
  throw GuestFault("string at guest address has no NUL within " + std::to_string(max) + " bytes");
}

std::vector<std::uint8_t> GuestMemory::ReadBytes(GuestAddr a, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  if (size != 0) Read(a, bytes.data(), size);
  return bytes;
}

std::string GuidText(const Guid &g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.data1, g.data2, g.data3,
                g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return text;
}

}  // namespace boardsim
