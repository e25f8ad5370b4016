// What an engine gives the models for one boot phase: the phase's memory,
// the addresses guest code calls to reach each service, the phase's module
// loaded and callable. The native engine runs host-built modules; the
// emulated engine runs the real images in a CPU emulator.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "sim/base/guest_memory.h"
#include "sim/base/services.h"

namespace boardsim {

class HardwareModel;

enum class Phase : std::uint8_t { Pei, Dxe };

// The kinds of guest function the simulated board calls into.
enum class Signature : std::uint8_t {
  DxeEntry,       // (ImageHandle, SystemTable) -> EFI_STATUS
  PeiEntry,       // (FileHandle, PeiServices) -> EFI_STATUS
  EventNotify,    // (Event, Context) -> void
  BooleanAnswer,  // () -> BOOLEAN (8 bits)
  ValueAnswer,    // () -> UINT64
  LanMacQuery,    // (Buffer, Out) -> EFI_STATUS
  PpiBoardInfo,   // (Unused, Unused, Info, Flag) -> EFI_STATUS
};

class Machine {
 public:
  virtual ~Machine() = default;

  virtual GuestMemory &Memory() = 0;
  // The address guest code calls to reach a service, or an unfilled slot.
  virtual GuestAddr ServiceEntry(Service service) = 0;
  virtual GuestAddr UnexpectedEntry(ServiceTable table, unsigned slot) = 0;
  // Loads the phase's module as its firmware core would; returns its entry point.
  virtual GuestAddr LoadModule() = 0;
  // Calls guest code and returns what it left in the accumulator (booleans:
  // the low 8 bits only).
  virtual std::uint64_t Call(GuestAddr function, Signature signature, std::span<const std::uint64_t> arguments) = 0;
  // Instructions the last completed Call executed (0 where not counted).
  virtual std::uint64_t LastCallInstructions() const { return 0; }
  // PEI: the base the CPU's IDTR reports.
  virtual void SetIdtBase(GuestAddr base) = 0;
  // Where a guest address lies, for messages: "BoardDxe+0x1a2 (.text)".
  virtual std::string Describe(GuestAddr address) const { return std::to_string(address); }
};

class Engine {
 public:
  virtual ~Engine() = default;
  virtual std::string Name() const = 0;
  // One machine per phase of a boot. Service calls go to the hub, register
  // accesses to the hardware model.
  virtual std::unique_ptr<Machine> CreateMachine(Phase phase, ServiceHub &hub, HardwareModel &hardware) = 0;
};

}  // namespace boardsim
