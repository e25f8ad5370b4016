#include "sim/engine/emulated/emulated_engine.h"

#include <cstdlib>

#include "sim/engine/emulated/emulated_image.h"
#include "sim/engine/emulated/emulated_machine.h"
#include "tools/image/pe_format.h"

namespace boardsim {
namespace {

class EmulatedEngine final : public Engine {
 public:
  explicit EmulatedEngine(const std::filesystem::path &directory)
      : dxe_(std::make_shared<emulated::ImageFile>(emulated::ReadImageFile(
            directory / "BoardDxe.efi", "BoardDxe", boardimage::ImageFormat::Pe32Plus, boardimage::pe::kMachineX64))),
        pei_(std::make_shared<emulated::ImageFile>(emulated::ReadImageFile(
            directory / "BoardPei.te", "BoardPei", boardimage::ImageFormat::Te, boardimage::pe::kMachineI386))) {}

  std::string Name() const override { return "emulated"; }
  std::unique_ptr<Machine> CreateMachine(Phase phase, ServiceHub &hub, HardwareModel &hardware) override {
    return std::make_unique<EmulatedMachine>(phase, hub, hardware, phase == Phase::Dxe ? dxe_ : pei_);
  }

 private:
  std::shared_ptr<const emulated::ImageFile> dxe_;
  std::shared_ptr<const emulated::ImageFile> pei_;
};

}  // namespace

std::filesystem::path DefaultFirmwareDirectory() {
  if (const char *directory = std::getenv("BOARDSIM_FIRMWARE_DIR")) return directory;
  return BOARD_FIRMWARE_DIR;
}

std::unique_ptr<Engine> MakeEmulatedEngine(const std::filesystem::path &imageDirectory) {
  return std::make_unique<EmulatedEngine>(imageDirectory);
}

}  // namespace boardsim
