#include "sim/engine/emulated/emulated_engine.h"

#include <mutex>
#include <utility>
#include <vector>

#include "sim/base/shipped_folder.h"
#include "sim/engine/emulated/emulated_image.h"
#include "sim/engine/emulated/emulated_machine.h"
#include "sim/image/pe_format.h"

namespace boardsim {
namespace {

// Machines that finished a boot, kept for the next: starting the emulator,
// mapping its memory and translating the images' code costs far more than a
// boot itself.
class MachinePool {
 public:
  std::unique_ptr<EmulatedMachine> Take(Phase phase, ServiceHub &hub, HardwareModel &hardware) {
    const std::lock_guard lock(mutex_);
    for (auto machine = idle_.begin(); machine != idle_.end(); ++machine)
      if ((*machine)->MachinePhase() == phase && (*machine)->ReuseFor(hub, hardware)) {
        auto taken = std::move(*machine);
        idle_.erase(machine);
        return taken;
      }
    return nullptr;
  }
  void Give(std::unique_ptr<EmulatedMachine> machine) {
    // Enough for a boot's two phases and a board whose controller windows lie
    // outside the usual hole; beyond that, let the machine go.
    constexpr std::size_t kMostIdle = 4;
    const std::lock_guard lock(mutex_);
    if (idle_.size() < kMostIdle) idle_.push_back(std::move(machine));
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<EmulatedMachine>> idle_;
};

// A machine on loan from the pool for one boot; it goes back when the boot
// lets it go.
class PooledMachine final : public Machine {
 public:
  PooledMachine(std::unique_ptr<EmulatedMachine> machine, std::shared_ptr<MachinePool> pool)
      : machine_(std::move(machine)), pool_(std::move(pool)) {}
  ~PooledMachine() override { pool_->Give(std::move(machine_)); }
  PooledMachine(const PooledMachine &) = delete;
  PooledMachine &operator=(const PooledMachine &) = delete;

  GuestMemory &Memory() override { return machine_->Memory(); }
  GuestAddr ServiceEntry(Service service) override { return machine_->ServiceEntry(service); }
  GuestAddr UnexpectedEntry(ServiceTable table, unsigned slot) override {
    return machine_->UnexpectedEntry(table, slot);
  }
  GuestAddr LoadModule() override { return machine_->LoadModule(); }
  std::uint64_t Call(GuestAddr function, Signature signature, std::span<const std::uint64_t> arguments) override {
    return machine_->Call(function, signature, arguments);
  }
  std::uint64_t LastCallInstructions() const override { return machine_->LastCallInstructions(); }
  void SetIdtBase(GuestAddr base) override { machine_->SetIdtBase(base); }
  std::string Describe(GuestAddr address) const override { return machine_->Describe(address); }

 private:
  std::unique_ptr<EmulatedMachine> machine_;
  std::shared_ptr<MachinePool> pool_;
};

class EmulatedEngine final : public Engine {
 public:
  explicit EmulatedEngine(const std::filesystem::path &directory)
      : dxe_(std::make_shared<emulated::ImageFile>(emulated::ReadImageFile(
            directory / "BoardDxe.efi", "BoardDxe", boardimage::ImageFormat::Pe32Plus, boardimage::pe::kMachineX64))),
        pei_(std::make_shared<emulated::ImageFile>(emulated::ReadImageFile(
            directory / "BoardPei.te", "BoardPei", boardimage::ImageFormat::Te, boardimage::pe::kMachineI386))) {}

  std::string Name() const override { return "emulated"; }
  std::unique_ptr<Machine> CreateMachine(Phase phase, ServiceHub &hub, HardwareModel &hardware) override {
    auto machine = pool_->Take(phase, hub, hardware);
    if (!machine) machine = std::make_unique<EmulatedMachine>(phase, hub, hardware, phase == Phase::Dxe ? dxe_ : pei_);
    if (debugger_ != nullptr && phase == debuggedPhase_) machine->AttachDebugger(*debugger_);
    machine->SetFaultLog(faults_);
    return std::make_unique<PooledMachine>(std::move(machine), pool_);
  }

 private:
  std::shared_ptr<const emulated::ImageFile> dxe_;
  std::shared_ptr<const emulated::ImageFile> pei_;
  std::shared_ptr<MachinePool> pool_ = std::make_shared<MachinePool>();

 public:
  std::shared_ptr<emulated::FaultLog> faults_ = std::make_shared<emulated::FaultLog>();

  void Debug(Phase phase, emulated::Debugger &debugger) {
    debuggedPhase_ = phase;
    debugger_ = &debugger;
  }

 private:
  Phase debuggedPhase_ = Phase::Dxe;
  emulated::Debugger *debugger_ = nullptr;
};

}  // namespace

std::filesystem::path DefaultFirmwareDirectory() {
  return ShippedFolder("BOARDSIM_FIRMWARE_DIR", "firmware", BOARD_FIRMWARE_DIR);
}

std::unique_ptr<Engine> MakeEmulatedEngine(const std::filesystem::path &imageDirectory) {
  return std::make_unique<EmulatedEngine>(imageDirectory);
}

std::vector<emulated::FaultState> RecordedFaults(const Engine &engine) {
  const auto *emulatedEngine = dynamic_cast<const EmulatedEngine *>(&engine);
  return emulatedEngine != nullptr ? emulatedEngine->faults_->Faults() : std::vector<emulated::FaultState>{};
}

std::unique_ptr<Engine> MakeDebuggedEngine(const std::filesystem::path &imageDirectory, Phase phase,
                                           emulated::Debugger &debugger) {
  auto engine = std::make_unique<EmulatedEngine>(imageDirectory);
  engine->Debug(phase, debugger);
  return engine;
}

}  // namespace boardsim
