#include "tests/sim_core/fake_machine.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace boardsim::testing {
namespace {

// Address ranges no block reaches, so a stray pointer into them faults.
constexpr GuestAddr kServiceEntries = 0x60000000;
constexpr GuestAddr kUnexpectedEntries = 0x68000000;
constexpr GuestAddr kDefinedFunctions = 0x70000000;
constexpr GuestAddr kEntryStride = 0x10;

std::string Hex(GuestAddr address) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(address));
  return text;
}

}  // namespace

std::uint8_t *FakeMemory::Locate(GuestAddr address, std::size_t size) {
  auto block = blocks_.upper_bound(address);
  if (block != blocks_.begin()) {
    --block;
    const GuestAddr start = block->first;
    if (address >= start && address + size <= start + block->second.size())
      return block->second.data() + (address - start);
  }
  throw GuestFault("access of " + std::to_string(size) + " bytes at " + Hex(address) + " outside any block");
}

void FakeMemory::Read(GuestAddr address, void *out, std::size_t size) {
  if (size != 0) std::memcpy(out, Locate(address, size), size);
}

void FakeMemory::Write(GuestAddr address, const void *in, std::size_t size) {
  if (size != 0) std::memcpy(Locate(address, size), in, size);
}

GuestAddr FakeMemory::Allocate(std::size_t size) {
  const GuestAddr address = next_;
  // A gap after each block, so running off its end faults.
  next_ += (size + 15) / 16 * 16 + 16;
  blocks_.emplace(address, std::vector<std::uint8_t>(size == 0 ? 1 : size, 0));
  return address;
}

GuestAddr FakeMemory::AllocateFilled(std::size_t size, std::uint8_t fill) {
  const GuestAddr address = Allocate(size);
  const std::vector<std::uint8_t> bytes(size, fill);
  Write(address, bytes.data(), bytes.size());
  return address;
}

GuestAddr FakeMachine::ServiceEntry(Service service) {
  return kServiceEntries + static_cast<GuestAddr>(service) * kEntryStride;
}

GuestAddr FakeMachine::UnexpectedEntry(ServiceTable table, unsigned slot) {
  return kUnexpectedEntries + (static_cast<GuestAddr>(table) << 16) + slot * kEntryStride;
}

GuestAddr FakeMachine::LoadModule() { throw std::logic_error("the fake machine has no module to load"); }

std::uint64_t FakeMachine::Call(GuestAddr function, Signature, std::span<const std::uint64_t> arguments) {
  const auto body = functions_.find(function);
  if (body == functions_.end()) throw GuestFault("call to " + Hex(function) + ", which no test defined");
  // Copy the body: it may define further functions while it runs.
  const GuestFunction run = body->second;
  return run(arguments);
}

GuestAddr FakeMachine::Define(GuestFunction body) {
  const GuestAddr address = kDefinedFunctions + functions_.size() * kEntryStride;
  functions_.emplace(address, std::move(body));
  return address;
}

}  // namespace boardsim::testing
