// The one way the models reach the memory of the code they serve: strings,
// buffers, tables and out-parameters are read and written through it, by
// guest address. Host-built modules use host memory directly; real images
// use the emulator's memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace boardsim {

using GuestAddr = std::uint64_t;

// A guest access the memory cannot serve (unmapped, or a null pointer).
class GuestFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
  friend bool operator==(const Guid &, const Guid &) = default;
};

class GuestMemory {
 public:
  virtual ~GuestMemory() = default;

  // 8 for x64 code, 4 for IA-32 code.
  virtual unsigned PointerSize() const = 0;
  virtual void Read(GuestAddr address, void *out, std::size_t size) = 0;
  virtual void Write(GuestAddr address, const void *in, std::size_t size) = 0;
  // Memory for tables, pool and buffers the models hand to guest code;
  // 16-byte aligned. Release is given only what Allocate returned.
  virtual GuestAddr Allocate(std::size_t size) = 0;
  virtual void Release(GuestAddr address) = 0;

  std::uint8_t Read8(GuestAddr a) { return ReadValue<std::uint8_t>(a); }
  std::uint16_t Read16(GuestAddr a) { return ReadValue<std::uint16_t>(a); }
  std::uint32_t Read32(GuestAddr a) { return ReadValue<std::uint32_t>(a); }
  std::uint64_t Read64(GuestAddr a) { return ReadValue<std::uint64_t>(a); }
  void Write8(GuestAddr a, std::uint8_t v) { WriteValue(a, v); }
  void Write16(GuestAddr a, std::uint16_t v) { WriteValue(a, v); }
  void Write32(GuestAddr a, std::uint32_t v) { WriteValue(a, v); }
  void Write64(GuestAddr a, std::uint64_t v) { WriteValue(a, v); }

  // Pointer-sized (UINTN) values.
  GuestAddr ReadPointer(GuestAddr a) { return PointerSize() == 8 ? Read64(a) : Read32(a); }
  void WritePointer(GuestAddr a, GuestAddr v);

  Guid ReadGuid(GuestAddr a);
  GuestAddr AllocateGuid(const Guid &guid);
  // A NUL-terminated 8-bit string of at most max bytes.
  std::string ReadCString(GuestAddr a, std::size_t max = 4096);
  std::vector<std::uint8_t> ReadBytes(GuestAddr a, std::size_t size);

 private:
  template <class T>
  T ReadValue(GuestAddr a) {
    T value{};
    Read(a, &value, sizeof value);
    return value;
  }
  template <class T>
  void WriteValue(GuestAddr a, T value) {
    Write(a, &value, sizeof value);
  }
};

std::string GuidText(const Guid &guid);

}  // namespace boardsim
