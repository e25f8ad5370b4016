#include "tests/engine/engine_fixture.h"

#include "sim/board/board_config.h"
#include "sim/engine/emulated/emulated_engine.h"
#include "sim/image/pe_format.h"

namespace boardsim::testing {

std::uint64_t RecordingHub::Dispatch(Service service, std::span<const std::uint64_t> arguments) {
  calls_.push_back({service, ServiceTable::BootServices, 0, {arguments.begin(), arguments.end()}});
  return answer_ ? answer_(service, arguments) : 0;
}

std::uint64_t RecordingHub::UnexpectedCall(ServiceTable table, unsigned slot) {
  calls_.push_back({std::nullopt, table, slot, {}});
  return 0x8000000000000003ull;  // EFI_UNSUPPORTED
}

Code &Code::Bytes(std::initializer_list<std::uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes);
  return *this;
}

Code &Code::Imm32(std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return *this;
}

Code &Code::Imm64(std::uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return *this;
}

std::shared_ptr<const emulated::ImageFile> EngineTest::ImageOf(Phase phase) {
  // Read once per test program: the files do not change while it runs.
  static const auto dxe = std::make_shared<const emulated::ImageFile>(
      emulated::ReadImageFile(DefaultFirmwareDirectory() / "BoardDxe.efi", "BoardDxe",
                              boardimage::ImageFormat::Pe32Plus, boardimage::pe::kMachineX64));
  static const auto pei = std::make_shared<const emulated::ImageFile>(
      emulated::ReadImageFile(DefaultFirmwareDirectory() / "BoardPei.te", "BoardPei", boardimage::ImageFormat::Te,
                              boardimage::pe::kMachineI386));
  return phase == Phase::Dxe ? dxe : pei;
}

EmulatedMachine &EngineTest::Start(Phase phase, std::shared_ptr<const emulated::ImageFile> image) {
  machine_.reset();
  hardware_ = std::make_unique<HardwareModel>(ShippedBoard(), trace_);
  machine_ = std::make_unique<EmulatedMachine>(phase, hub_, *hardware_, image ? std::move(image) : ImageOf(phase));
  return *machine_;
}

std::string EngineTest::FaultOf(const std::function<void()> &call) {
  try {
    call();
  } catch (const EmulationFault &fault) {
    return fault.what();
  }
  ADD_FAILURE() << "the call ended without an EmulationFault";
  return {};
}

}  // namespace boardsim::testing
