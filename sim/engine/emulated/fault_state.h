// What a faulting boot leaves for the person reading its report: the CPU's
// registers at the faulting instruction and the return addresses of the
// calls that led there, as guest addresses. Naming them (functions, source
// lines) is for a host tool that reads the module's symbol file.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "sim/base/guest_memory.h"

namespace boardsim::emulated {

struct FaultState {
  std::string module;   // "BoardDxe", "BoardPei"
  std::string message;  // the fault as the boot reports it
  unsigned pointerSize = 8;
  GuestAddr pc = 0;
  // Loaded address minus linked address (modulo 2^64): the symbol file holds
  // linked addresses.
  std::uint64_t relocation = 0;
  std::vector<std::pair<std::string, std::uint64_t>> registers;  // "rax", ... in the CPU's order
  // How the return addresses were found: "saved frame pointers" or
  // "stack scan" (words on the stack inside the module's code that follow a
  // call instruction; some may be stale).
  std::string chainMethod;
  std::vector<GuestAddr> returnAddresses;  // innermost first
  // The pc, then each return address, as the machine's messages name them
  // ("BoardDxe+0x131D (.text)").
  std::vector<std::string> described;
};

// The calls a boot can have faulted in are few; a runaway image is held to these.
inline constexpr std::size_t kMostRecordedFaults = 8;
inline constexpr std::size_t kMostFrames = 32;

// The faults an engine's boots ended with, oldest first (boots may run on
// several threads).
class FaultLog {
 public:
  void Add(FaultState state) {
    const std::lock_guard lock(mutex_);
    if (faults_.size() < kMostRecordedFaults) faults_.push_back(std::move(state));
  }
  std::vector<FaultState> Faults() const {
    const std::lock_guard lock(mutex_);
    return faults_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<FaultState> faults_;
};

}  // namespace boardsim::emulated
