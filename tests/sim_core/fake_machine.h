// A machine without a module, for testing the core models on their own:
// guest memory is a set of separate host blocks (an access outside every
// block faults, as an unmapped guest address would), service entries are
// plain addresses, and "guest functions" are host callbacks a test defines.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "sim/base/machine.h"

namespace boardsim::testing {

class FakeMemory final : public GuestMemory {
 public:
  explicit FakeMemory(unsigned pointerSize) : pointerSize_(pointerSize) {}

  unsigned PointerSize() const override { return pointerSize_; }
  void Read(GuestAddr address, void *out, std::size_t size) override;
  void Write(GuestAddr address, const void *in, std::size_t size) override;
  GuestAddr Allocate(std::size_t size) override;
  void Release(GuestAddr address) override { blocks_.erase(address); }

  // A block filled with one byte value, for out-parameters whose untouched
  // state must show.
  GuestAddr AllocateFilled(std::size_t size, std::uint8_t fill);

 private:
  std::uint8_t *Locate(GuestAddr address, std::size_t size);

  unsigned pointerSize_;
  std::map<GuestAddr, std::vector<std::uint8_t>> blocks_;
  GuestAddr next_ = 0x10000;  // below 4 GiB, so 32-bit guests can hold every address
};

class FakeMachine final : public Machine {
 public:
  using GuestFunction = std::function<std::uint64_t(std::span<const std::uint64_t>)>;

  explicit FakeMachine(unsigned pointerSize = 8) : memory_(pointerSize) {}

  FakeMemory &Memory() override { return memory_; }
  GuestAddr ServiceEntry(Service service) override;
  GuestAddr UnexpectedEntry(ServiceTable table, unsigned slot) override;
  GuestAddr LoadModule() override;
  std::uint64_t Call(GuestAddr function, Signature signature, std::span<const std::uint64_t> arguments) override;
  void SetIdtBase(GuestAddr base) override { idtBase_ = base; }

  // A guest function with a host body; returns the address to call it at.
  GuestAddr Define(GuestFunction body);
  GuestAddr IdtBase() const { return idtBase_; }

 private:
  FakeMemory memory_;
  std::map<GuestAddr, GuestFunction> functions_;
  GuestAddr idtBase_ = 0;
};

}  // namespace boardsim::testing
