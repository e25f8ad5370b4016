// The emulated machine's side of a debugger: what it tells a debugger while
// the module runs (each instruction, each memory access, each service call,
// a fault) and what a stopped debugger may look at and change. Without a
// debugger attached the machine adds none of these hooks.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sim/base/guest_memory.h"
#include "sim/base/services.h"

namespace boardsim::emulated {

// Thrown out of a boot when the debugger gives it up (to replay it from the
// start, or because gdb killed it). Not a std::exception, so that nothing
// that records a boot's faults takes it for one.
struct BootAbandoned {
  bool killed = false;
};

// The machine as a stopped debugger sees it. Registers are named by the
// CPU emulator's x86 register ids.
class DebugView {
 public:
  virtual ~DebugView() = default;
  virtual unsigned PointerSize() const = 0;
  // Reads or writes `bytes.size()` bytes of the register; false if the
  // emulator has no such register.
  virtual bool ReadRegister(int id, std::span<std::uint8_t> bytes) = 0;
  virtual bool WriteRegister(int id, std::span<const std::uint8_t> bytes) = 0;
  // Guest memory without side effects: register windows answer with the
  // hardware model's current value, and nothing is traced. Returns the bytes
  // read; fewer than asked where memory ends.
  virtual std::size_t ReadMemory(GuestAddr address, std::span<std::uint8_t> bytes) = 0;
  // Writes only RAM (heap, stack, writable data); false elsewhere, changing nothing.
  virtual bool WriteMemory(GuestAddr address, std::span<const std::uint8_t> bytes) = 0;
  // "BoardDxe+0x1A2 (.text)", as the machine's messages name addresses.
  virtual std::string Describe(GuestAddr address) const = 0;
  // How far the phase's module was moved from the base it was linked at
  // (modulo 2^64; 0 before it is loaded, and for BoardPei, which runs where
  // it was linked): a debugger places the module's symbols by it.
  virtual std::uint64_t ModuleRelocation() const = 0;
};

class Debugger {
 public:
  virtual ~Debugger() = default;
  // Before each instruction of guest code (never the service entries').
  virtual void BeforeInstruction(DebugView &view, GuestAddr pc) = 0;
  // Guest code reached a service entry or, returning from a call the board
  // made, the return sentinel (where gdb's finish waits).
  virtual void AtEntryPage(DebugView &view, GuestAddr pc) = 0;
  // A data access by guest code, before it takes effect.
  virtual void OnAccess(DebugView &view, bool write, GuestAddr address, unsigned size) = 0;
  // Guest code called a service; the call is served after this returns.
  virtual void OnServiceCall(DebugView &view, Service service, std::span<const std::uint64_t> arguments) = 0;
  // Guest code faulted: the boot ends with this message once this returns.
  virtual void OnFault(DebugView &view, const std::string &why) = 0;
  // True once the debugger has given up this boot: the machine then stops
  // and throws BootAbandoned.
  virtual bool Abandoned() const = 0;
};

}  // namespace boardsim::emulated
