// Engine tests: one emulated machine on the shipped board's hardware, with a
// service hub that records every call it receives and answers as the test
// says, and hand-assembled machine code for the paths the images do not
// take.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/base/services.h"
#include "sim/engine/emulated/emulated_image.h"
#include "sim/engine/emulated/emulated_machine.h"
#include "sim/hw/hardware_model.h"

namespace boardsim::testing {

struct ReceivedCall {
  std::optional<Service> service;  // empty for an unfilled slot
  ServiceTable table = ServiceTable::BootServices;
  unsigned slot = 0;
  std::vector<std::uint64_t> arguments;
};

class RecordingHub final : public ServiceHub {
 public:
  using Answer = std::function<std::uint64_t(Service, std::span<const std::uint64_t>)>;

  std::uint64_t Dispatch(Service service, std::span<const std::uint64_t> arguments) override;
  std::uint64_t UnexpectedCall(ServiceTable table, unsigned slot) override;

  // How the hub answers a service call (default: 0).
  void SetAnswer(Answer answer) { answer_ = std::move(answer); }
  const std::vector<ReceivedCall> &Calls() const { return calls_; }

 private:
  Answer answer_;
  std::vector<ReceivedCall> calls_;
};

// Machine code, little-endian immediates.
class Code {
 public:
  Code &Bytes(std::initializer_list<std::uint8_t> bytes);
  Code &Imm32(std::uint32_t value);
  Code &Imm64(std::uint64_t value);
  const std::vector<std::uint8_t> &Get() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

class EngineTest : public ::testing::Test {
 protected:
  // A machine of the phase with the build's image for it, or the image
  // given (not yet loaded).
  EmulatedMachine &Start(Phase phase, std::shared_ptr<const emulated::ImageFile> image = nullptr);
  EmulatedMachine &Machine() { return *machine_; }
  RecordingHub &Hub() { return hub_; }
  Trace &GetTrace() { return trace_; }
  GuestAddr Place(const Code &code) { return machine_->PlaceCode(code.Get()); }
  // Runs code that takes no arguments and returns a UINT64 (EDX:EAX on IA-32).
  std::uint64_t Run(GuestAddr code) { return machine_->Call(code, Signature::ValueAnswer, {}); }
  // The message of the EmulationFault a call raises; fails the test if none.
  std::string FaultOf(const std::function<void()> &call);

  static std::shared_ptr<const emulated::ImageFile> ImageOf(Phase phase);

 private:
  Trace trace_;
  std::unique_ptr<HardwareModel> hardware_;
  RecordingHub hub_;
  std::unique_ptr<EmulatedMachine> machine_;
};

}  // namespace boardsim::testing
