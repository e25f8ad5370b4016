#include "sim/engine/native/native_engine.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

#include "board/board_hook_ppi.h"
#include "board/board_hook_protocol.h"
#include "pi/pei_services.h"
#include "sim/engine/native/native_context.h"
#include "sim/engine/native/native_memory.h"
#include "uefi/boot_services.h"

namespace boardsim {
namespace {

class NativeMachine final : public Machine {
 public:
  NativeMachine(Phase phase, std::filesystem::path module, ServiceHub &hub, HardwareModel &hardware)
      : phase_(phase), module_(std::move(module)) {
    ClaimNativeContext(hub, hardware);
  }
  ~NativeMachine() override {
    if (library_ != nullptr) dlclose(library_);
    ReleaseNativeContext();
  }

  GuestMemory &Memory() override { return memory_; }
  GuestAddr ServiceEntry(Service service) override { return NativeServiceEntry(service); }
  GuestAddr UnexpectedEntry(ServiceTable table, unsigned slot) override { return NativeUnexpectedEntry(table, slot); }
  void SetIdtBase(GuestAddr base) override { ActiveNativeContext().idtBase = base; }

  GuestAddr LoadModule() override {
    if (library_ != nullptr) throw std::logic_error("module already loaded in this machine");
    // A fresh copy of the module per boot: its globals start as a real boot's do.
    library_ = dlopen(module_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) throw std::runtime_error("cannot load " + module_.string() + ": " + dlerror());
    memory_.AddModule(library_);
    const char *entry = phase_ == Phase::Dxe ? "BoardDxeEntry" : "BoardPeiEntry";
    void *symbol = dlsym(library_, entry);
    if (symbol == nullptr) throw std::runtime_error(module_.string() + " has no entry point " + entry);
    return reinterpret_cast<GuestAddr>(symbol);
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
  std::filesystem::path module_;
  NativeMemory memory_;
  void *library_ = nullptr;
};

class NativeEngine final : public Engine {
 public:
  explicit NativeEngine(std::filesystem::path directory) : directory_(std::move(directory)) {}
  std::string Name() const override { return "native"; }
  std::unique_ptr<Machine> CreateMachine(Phase phase, ServiceHub &hub, HardwareModel &hardware) override {
    const char *file = phase == Phase::Dxe ? "BoardDxeHost.so" : "BoardPeiHost.so";
    return std::make_unique<NativeMachine>(phase, directory_ / file, hub, hardware);
  }

 private:
  std::filesystem::path directory_;
};

}  // namespace

std::filesystem::path DefaultModuleDirectory() {
  if (const char *directory = std::getenv("BOARDSIM_MODULE_DIR")) return directory;
  return BOARD_MODULE_DIR;
}

std::unique_ptr<Engine> MakeNativeEngine(std::filesystem::path moduleDirectory) {
  return std::make_unique<NativeEngine>(std::move(moduleDirectory));
}

}  // namespace boardsim
