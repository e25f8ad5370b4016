// The emulated machine under a debugger: the hooks that hand it every
// instruction and data access, and the view of registers and memory it
// reads while stopped.
#include <algorithm>
#include <array>
#include <cstring>

#include "sim/engine/emulated/emulated_layout.h"
#include "sim/engine/emulated/emulated_machine.h"
#include "sim/hw/hardware_model.h"

namespace boardsim {
namespace {

using namespace emulated;

bool InTrapPages(GuestAddr address) { return address >= kTrapPage && address < kTrapPage + 2 * kPageSize; }

// Larger than any x86 register the emulator hands out (a 512-bit vector).
constexpr std::size_t kLargestRegister = 64;

}  // namespace

void EmulatedMachine::AttachDebugger(Debugger &debugger) {
  if (debugger_ != nullptr) {
    debugger_ = &debugger;
    return;
  }
  debugger_ = &debugger;
  const auto add = [this](int type, void *callback, const char *what) {
    uc_hook hook = 0;
    const uc_err error = uc_hook_add(uc_, &hook, type, callback, this, 1, 0);
    if (error != UC_ERR_OK)
      throw std::runtime_error(std::string("cannot add the debugger's ") + what + " hook: " + uc_strerror(error));
    hooks_.push_back(hook);
  };
  add(UC_HOOK_CODE, reinterpret_cast<void *>(&OnDebugInstruction), "instruction");
  add(UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, reinterpret_cast<void *>(&OnDebugAccess), "memory access");
}

void EmulatedMachine::StopIfAbandoned() {
  if (!debugger_->Abandoned() || hookError_) return;
  hookError_ = std::make_exception_ptr(BootAbandoned{});
  uc_emu_stop(uc_);
}

void EmulatedMachine::OnDebugInstruction(uc_engine *, std::uint64_t address, std::uint32_t, void *user) {
  auto *self = static_cast<EmulatedMachine *>(user);
  if (self->hookError_) return;
  try {
    // The service entries' int3 is the machine's, not guest code.
    if (InTrapPages(address))
      self->debugger_->AtEntryPage(*self, address);
    else
      self->debugger_->BeforeInstruction(*self, address);
    self->StopIfAbandoned();
  } catch (...) {
    self->hookError_ = std::current_exception();
    uc_emu_stop(self->uc_);
  }
}

void EmulatedMachine::OnDebugAccess(uc_engine *, uc_mem_type type, std::uint64_t address, int size, std::int64_t,
                                    void *user) {
  auto *self = static_cast<EmulatedMachine *>(user);
  if (self->hookError_) return;
  try {
    self->debugger_->OnAccess(*self, type == UC_MEM_WRITE, address, static_cast<unsigned>(size));
    self->StopIfAbandoned();
  } catch (...) {
    self->hookError_ = std::current_exception();
    uc_emu_stop(self->uc_);
  }
}

void EmulatedMachine::ShowFault(const EmulationFault &fault) {
  // A nested call's fault passes through every level that called it.
  if (faultShown_ || debugger_->Abandoned()) return;
  faultShown_ = true;
  debugger_->OnFault(*this, fault.what());
  if (debugger_->Abandoned()) throw BootAbandoned{};
}

std::uint64_t EmulatedMachine::ModuleRelocation() const {
  return loaded_ ? loaded_->base - image_->headers.imageBase : 0;
}

bool EmulatedMachine::ReadRegister(int id, std::span<std::uint8_t> bytes) {
  std::array<std::uint8_t, kLargestRegister> value{};
  if (bytes.size() > value.size() || uc_reg_read(uc_, id, value.data()) != UC_ERR_OK) return false;
  std::memcpy(bytes.data(), value.data(), bytes.size());
  return true;
}

bool EmulatedMachine::WriteRegister(int id, std::span<const std::uint8_t> bytes) {
  std::array<std::uint8_t, kLargestRegister> value{};
  if (bytes.size() > value.size() || uc_reg_read(uc_, id, value.data()) != UC_ERR_OK) return false;
  std::memcpy(value.data(), bytes.data(), bytes.size());
  return uc_reg_write(uc_, id, value.data()) == UC_ERR_OK;
}

std::size_t EmulatedMachine::ReadMemory(GuestAddr address, std::span<std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const GuestAddr at = address + done;
    const MappedRegion *region = memory_->RegionAt(at);
    if (region == nullptr) break;
    const std::size_t chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size() - done, region->base + region->size - at));
    if (region->kind == RegionKind::Registers) {
      // What the register holds now, not what the page last saw.
      for (std::size_t i = 0; i < chunk; ++i) bytes[done + i] = static_cast<std::uint8_t>(hardware_->Peek(at + i, 8));
    } else {
      std::memcpy(bytes.data() + done, region->host + (at - region->base), chunk);
    }
    done += chunk;
  }
  return done;
}

bool EmulatedMachine::WriteMemory(GuestAddr address, std::span<const std::uint8_t> bytes) {
  const MappedRegion *region = memory_->RegionAt(address);
  if (region == nullptr || bytes.size() > region->base + region->size - address) return false;
  const bool ram = region->kind == RegionKind::Ram || region->kind == RegionKind::Stack ||
                   (region->kind == RegionKind::Image && (region->protection & UC_PROT_WRITE) != 0);
  if (!ram) return false;
  std::memcpy(region->host + (address - region->base), bytes.data(), bytes.size());
  return true;
}

}  // namespace boardsim
