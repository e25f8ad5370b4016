#include "sim/engine/native/native_engine.h"

#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>

#include "board/board_hook_ppi.h"
#include "board/board_hook_protocol.h"
#include "pi/pei_services.h"
#include "sim/base/shipped_folder.h"
#include "sim/engine/native/host_module.h"
#include "sim/engine/native/native_context.h"
#include "sim/engine/native/native_memory.h"
#include "uefi/boot_services.h"

namespace boardsim {
namespace {

class NativeMachine final : public Machine {
 public:
  // module: loads the phase's module the first time it is asked for.
  NativeMachine(Phase phase, std::function<HostModule &()> module, ServiceHub &hub, HardwareModel &hardware)
      : phase_(phase), module_(std::move(module)) {
    ClaimNativeContext(hub, hardware);
  }
  ~NativeMachine() override { ReleaseNativeContext(); }

  GuestMemory &Memory() override { return memory_; }
  GuestAddr ServiceEntry(Service service) override { return NativeServiceEntry(service); }
  GuestAddr UnexpectedEntry(ServiceTable table, unsigned slot) override { return NativeUnexpectedEntry(table, slot); }
  void SetIdtBase(GuestAddr base) override { ActiveNativeContext().idtBase = base; }

  GuestAddr LoadModule() override {
    if (loaded_) throw std::logic_error("module already loaded in this machine");
    // The module's globals start as a real boot's do.
    HostModule &module = module_();
    module.Restart();
    memory_.AddModule(module.Handle());
    loaded_ = true;
    return reinterpret_cast<GuestAddr>(module.Symbol(phase_ == Phase::Dxe ? "BoardDxeEntry" : "BoardPeiEntry"));
  }

  std::uint64_t Call(GuestAddr function, Signature signature, std::span<const std::uint64_t> a) override {
    if (function == 0) throw GuestFault("call through a NULL function pointer");
    auto pointer = [](std::uint64_t value) { return reinterpret_cast<void *>(value); };
    switch (signature) {
      case Signature::DxeEntry:
        return reinterpret_cast<EFI_IMAGE_ENTRY_POINT>(function)(pointer(a[0]),
                                                                 static_cast<EFI_SYSTEM_TABLE *>(pointer(a[1])));
      case Signature::PeiEntry:
        return reinterpret_cast<EFI_PEIM_ENTRY_POINT>(function)(pointer(a[0]),
                                                                static_cast<const EFI_PEI_SERVICES **>(pointer(a[1])));
      case Signature::EventNotify:
        reinterpret_cast<EFI_EVENT_NOTIFY>(function)(pointer(a[0]), pointer(a[1]));
        return 0;
      case Signature::BooleanAnswer:
        return reinterpret_cast<BOARD_HOOK_BOOLEAN_ANSWER>(function)();
      case Signature::ValueAnswer:
        return reinterpret_cast<BOARD_HOOK_VALUE_ANSWER>(function)();
      case Signature::LanMacQuery:
        return reinterpret_cast<BOARD_HOOK_LAN_MAC_QUERY>(function)(static_cast<UINT8 *>(pointer(a[0])),
                                                                    static_cast<UINT8 *>(pointer(a[1])));
      case Signature::PpiBoardInfo:
        return reinterpret_cast<BOARD_HOOK_PPI_BOARD_INFO>(function)(
            pointer(a[0]), pointer(a[1]), static_cast<UINT8 *>(pointer(a[2])), static_cast<UINT8 *>(pointer(a[3])));
    }
    throw std::logic_error("unknown guest signature");
  }

 private:
  Phase phase_;
  std::function<HostModule &()> module_;
  NativeMemory memory_;
  bool loaded_ = false;
};

class NativeEngine final : public Engine {
 public:
  explicit NativeEngine(std::filesystem::path directory) : directory_(std::move(directory)) {}
  std::string Name() const override { return "native"; }
  std::unique_ptr<Machine> CreateMachine(Phase phase, ServiceHub &hub, HardwareModel &hardware) override {
    return std::make_unique<NativeMachine>(
        phase, [this, phase]() -> HostModule & { return ModuleOf(phase); }, hub, hardware);
  }

 private:
  // Each module is loaded once per engine; every boot restarts it.
  HostModule &ModuleOf(Phase phase) {
    auto &module = phase == Phase::Dxe ? dxe_ : pei_;
    if (!module)
      module = std::make_unique<HostModule>(directory_ / (phase == Phase::Dxe ? "BoardDxeHost.so" : "BoardPeiHost.so"));
    return *module;
  }

  std::filesystem::path directory_;
  std::unique_ptr<HostModule> dxe_;
  std::unique_ptr<HostModule> pei_;
};

}  // namespace

std::filesystem::path DefaultModuleDirectory() {
  return ShippedFolder("BOARDSIM_MODULE_DIR", "modules", BOARD_MODULE_DIR);
}

std::unique_ptr<Engine> MakeNativeEngine(std::filesystem::path moduleDirectory) {
  return std::make_unique<NativeEngine>(std::move(moduleDirectory));
}

}  // namespace boardsim
