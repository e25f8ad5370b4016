// One phase of a boot on the CPU emulator: x64 long mode for BoardDxe,
// IA-32 protected mode for BoardPei. Guest code reaches the models through
// service tables whose entries are addresses on a trap page; the machine
// stops there, reads the arguments by the phase's calling convention, hands
// the call to the service hub and returns to the caller as the service
// would. Register windows are RAM whose every access goes to the hardware
// model first, so each access keeps its exact width and order.
#pragma once

#include <unicorn/unicorn.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/base/machine.h"
#include "sim/engine/emulated/emulated_debug.h"
#include "sim/engine/emulated/emulated_image.h"
#include "sim/engine/emulated/emulated_memory.h"
#include "sim/engine/emulated/fault_state.h"
#include "sim/engine/emulated/image_coverage.h"

namespace boardsim {

class HardwareModel;

// Guest code did something the board does not survive (a write to flash, a
// fetch from memory that is not code, a CPU exception) or ran too long. The
// message names the image, the offset, the section and the access.
class EmulationFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EmulatedMachine final : public Machine, public emulated::DebugView {
 public:
  // image: the phase's image file; LoadModule refuses if there is none.
  EmulatedMachine(Phase phase, ServiceHub &hub, HardwareModel &hardware,
                  std::shared_ptr<const emulated::ImageFile> image);
  ~EmulatedMachine() override;
  EmulatedMachine(const EmulatedMachine &) = delete;
  EmulatedMachine &operator=(const EmulatedMachine &) = delete;

  // Readies a machine that ran a boot for the next one, on another board's
  // models: memory as mapped, heap empty, CPU as created, no module loaded,
  // budgets at their defaults. The translated code is kept, so a boot on a
  // reused machine skips the emulator's start and most of its translation.
  // Returns false, changing nothing, if the board's register windows lie
  // elsewhere than the ones this machine mapped.
  bool ReuseFor(ServiceHub &hub, HardwareModel &hardware);
  Phase MachinePhase() const { return phase_; }

  GuestMemory &Memory() override { return *memory_; }
  GuestAddr ServiceEntry(Service service) override;
  GuestAddr UnexpectedEntry(ServiceTable table, unsigned slot) override;
  GuestAddr LoadModule() override;
  std::uint64_t Call(GuestAddr function, Signature signature, std::span<const std::uint64_t> arguments) override;
  std::uint64_t LastCallInstructions() const override { return lastCallInstructions_; }
  void SetIdtBase(GuestAddr base) override;
  std::string Describe(GuestAddr address) const override;

  // The most basic blocks one call from the host may run, nested calls
  // included, before it is taken for a hang.
  void SetBlockBudget(std::uint64_t blocks) { blockBudget_ = blocks; }
  static constexpr std::uint64_t kDefaultBlockBudget = 1'000'000;
  // The most service calls one call from the host may make, and the longest
  // it may run, before it is taken for a hang. A damaged image that loops
  // through services stops here long before the block budget would stop it.
  void SetServiceCallBudget(std::uint64_t calls) { serviceCallBudget_ = calls; }
  static constexpr std::uint64_t kDefaultServiceCallBudget = 10'000;
  void SetTimeBudget(std::chrono::milliseconds time) { timeBudget_ = time; }
  static constexpr std::chrono::milliseconds kDefaultTimeBudget{2000};
  // Places machine code in executable scratch memory and returns its
  // address (engine tests run hand-assembled snippets this way).
  GuestAddr PlaceCode(std::span<const std::uint8_t> code);
  const emulated::LoadedImage *Image() const { return loaded_; }

  // Hands every instruction, data access, service call and fault of guest
  // code to the debugger from now on, across reuse, and lifts the time
  // budget (a person at a breakpoint takes longer than any budget). Without
  // this call the machine runs no per-instruction hook.
  void AttachDebugger(emulated::Debugger &debugger);
  // Where the machine records the registers and call chain of each fault
  // its boots end with (none if null).
  void SetFaultLog(std::shared_ptr<emulated::FaultLog> log) { faultLog_ = std::move(log); }

  // emulated::DebugView
  unsigned PointerSize() const override { return pointerSize_; }
  bool ReadRegister(int id, std::span<std::uint8_t> bytes) override;
  bool WriteRegister(int id, std::span<const std::uint8_t> bytes) override;
  std::size_t ReadMemory(GuestAddr address, std::span<std::uint8_t> bytes) override;
  bool WriteMemory(GuestAddr address, std::span<const std::uint8_t> bytes) override;
  std::uint64_t ModuleRelocation() const override;

 private:
  struct Fault {
    uc_mem_type type = UC_MEM_READ;
    GuestAddr address = 0;
    int size = 0;
    std::int64_t value = 0;
  };
  struct Interrupt {
    std::uint32_t number = 0;
    GuestAddr pc = 0;
  };
  enum class Register : std::uint8_t { Pc, Sp, Ax, Cx, Dx, R8, R9, R10, R11 };

  void MapFixedRegions();
  void MapRegisterWindows();
  // The board's register windows outside the MMIO hole, which this machine
  // maps and hooks on their own.
  static std::vector<std::pair<GuestAddr, std::uint64_t>> OwnWindows(const HardwareModel &hardware);
  // Loads the image again into the memory its first load mapped.
  GuestAddr ReloadModule();
  // Writes code bytes, dropping any translation of the old bytes there.
  void RewriteCode(GuestAddr address, const std::uint8_t *bytes, std::uint64_t size);
  void ForgetTranslations(GuestAddr begin, GuestAddr end);
  [[noreturn]] void ThrowOverBudget(const std::string &what);
  void AddHooks();
  int RegisterIdOf(Register which) const;
  std::uint64_t Reg(Register which) const;
  void SetReg(Register which, std::uint64_t value);
  std::uint64_t ReadWord(GuestAddr address);
  void WriteWord(GuestAddr address, std::uint64_t value);

  // Runs guest code from pc until it reaches the return sentinel, serving
  // every service call it makes on the way.
  void RunUntilReturn(GuestAddr pc);
  void RunUntilReturnUnwatched(GuestAddr pc);
  // Guest code stopped at a trap entry: serve the call and return to it.
  GuestAddr ServeTrap(GuestAddr entry);
  // Adds the instructions of the blocks run since the last stop.
  void CountInstructions();
  [[noreturn]] void ThrowStop(uc_err error, GuestAddr pc);
  std::string FaultText(const Fault &fault, GuestAddr pc) const;
  std::string WhereCodeRan(GuestAddr pc) const;
  bool InModuleCode(GuestAddr address) const;
  // Adds the CPU's state at the faulting instruction pc to the fault log.
  void RecordFault(const std::string &message, GuestAddr pc);

  static void OnBlock(uc_engine *uc, std::uint64_t address, std::uint32_t size, void *user);
  static void OnRegisterAccess(uc_engine *uc, uc_mem_type type, std::uint64_t address, int size, std::int64_t value,
                               void *user);
  static bool OnInvalidAccess(uc_engine *uc, uc_mem_type type, std::uint64_t address, int size, std::int64_t value,
                              void *user);
  static void OnInterrupt(uc_engine *uc, std::uint32_t number, void *user);
  static void OnDebugInstruction(uc_engine *uc, std::uint64_t address, std::uint32_t size, void *user);
  static void OnDebugAccess(uc_engine *uc, uc_mem_type type, std::uint64_t address, int size, std::int64_t value,
                            void *user);
  // Stops the emulator and has RunUntilReturn throw BootAbandoned if the
  // debugger gave the boot up.
  void StopIfAbandoned();
  // Lets the debugger see a fault before it ends the boot.
  void ShowFault(const EmulationFault &fault);

  Phase phase_;
  unsigned pointerSize_;
  ServiceHub *hub_;
  HardwareModel *hardware_;
  std::shared_ptr<const emulated::ImageFile> image_;
  uc_engine *uc_ = nullptr;
  std::unique_ptr<emulated::EmulatedMemory> memory_;
  const emulated::LoadedImage *loaded_ = nullptr;  // this boot's module: the first load, once loaded
  std::vector<uc_hook> hooks_;
  std::vector<std::pair<GuestAddr, std::uint64_t>> ownWindows_;
  uc_context *freshContext_ = nullptr;  // the CPU as created, for the next boot
  // After the first load: where the image went and its bytes as loaded.
  std::optional<emulated::LoadedImage> firstLoad_;
  std::vector<std::uint8_t> loadedBytes_;

  std::vector<GuestAddr> registerPages_;  // register window pages written since the boot began
  GuestAddr scratchNext_;

  unsigned depth_ = 0;
  std::vector<uc_context *> savedContexts_;  // one per nesting level
  std::uint64_t blockBudget_ = kDefaultBlockBudget;
  std::uint64_t blocks_ = 0;
  bool budgetExhausted_ = false;
  std::uint64_t serviceCallBudget_ = kDefaultServiceCallBudget;
  std::uint64_t serviceCalls_ = 0;
  std::chrono::milliseconds timeBudget_ = kDefaultTimeBudget;
  std::chrono::steady_clock::time_point callStart_;
  bool outOfTime_ = false;
  std::uint64_t instructions_ = 0;
  std::vector<std::pair<GuestAddr, std::uint32_t>> blocksRun_;                                // since the last stop
  std::unordered_map<GuestAddr, std::pair<std::uint32_t, std::uint16_t>> blockInstructions_;  // size, count
  std::uint64_t lastCallInstructions_ = 0;
  bool coverage_ = emulated::CoverageEnabled();
  GuestAddr lastBlock_ = 0;
  GuestAddr callTarget_ = 0;  // of the outermost call, for messages
  std::optional<Fault> fault_;
  GuestAddr faultPc_ = 0;
  std::optional<Interrupt> interrupt_;
  std::exception_ptr hookError_;
  emulated::Debugger *debugger_ = nullptr;
  bool faultShown_ = false;  // the debugger saw the fault a nested call ended with
  std::shared_ptr<emulated::FaultLog> faultLog_;
};

}  // namespace boardsim
