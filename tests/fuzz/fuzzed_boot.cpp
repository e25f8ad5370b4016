#include "tests/fuzz/fuzzed_boot.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <exception>
#include <optional>

#include "sim/base/services.h"
#include "sim/base/status_names.h"
#include "sim/board/board_checks.h"
#include "sim/boot/boot.h"
#include "sim/boot/boot_record.h"
#include "sim/boot/seen_outcome.h"
#include "sim/scoreboard/expected_outcome.h"
#include "tests/fuzz/boot_invariants.h"

namespace boardsim::fuzz {
namespace {

// GPP_K pads 0..3 of the H series: the riser code.
constexpr std::uint32_t kRiserPads[] = {0x030A0000, 0x030A0001, 0x030A0002, 0x030A0003};
constexpr std::uint16_t kPchIds[] = {0xA305, 0xA30C, 0x9D84, 0x9D4E};
constexpr std::uint32_t kOnboardLan = 0x15338086;
constexpr std::uint32_t kMmioHole = 0x80000000;
constexpr std::uint32_t kBarWindowSize = 0x20000;
constexpr std::uint32_t kBarWindows = (0xFFFE0000 - kMmioHole) / kBarWindowSize;
// Errors (top bit set) and warnings a misbehaving service might return.
constexpr std::uint64_t kStatuses[] = {0x8000000000000002,
                                       0x8000000000000003,
                                       0x8000000000000007,
                                       0x8000000000000009,
                                       0x800000000000000E,
                                       0x8000000000000015,
                                       1,
                                       2,
                                       3,
                                       4};

template <typename T>
T Either(FuzzedDataProvider &data, T kept) {
  return data.ConsumeBool() ? kept : data.ConsumeIntegral<T>();
}

void FuzzPads(FuzzedDataProvider &data, BoardConfig &board) {
  if (data.ConsumeBool()) board.pchDeviceId = data.PickValueInArray(kPchIds);
  for (const std::uint32_t pad : kRiserPads) {
    if (!data.ConsumeBool()) continue;
    PadState state;
    state.owner = data.ConsumeIntegralInRange<std::uint32_t>(0, 15);
    state.dw0 =
        data.ConsumeBool() ? InputPadDw0(data.ConsumeIntegralInRange(0u, 1u)) : data.ConsumeIntegral<std::uint32_t>();
    board.pads[pad] = state;
  }
}

void FuzzPci(FuzzedDataProvider &data, BoardConfig &board) {
  for (PciBridge &bridge : board.bridges) {
    bridge.secondaryBus = Either(data, bridge.secondaryBus);
    bridge.subordinateBus = Either(data, bridge.subordinateBus);
    bridge.vendorDevice = Either(data, bridge.vendorDevice);
  }
  for (PciEndpoint &endpoint : board.endpoints) {
    endpoint.vendorDevice = data.ConsumeBool() ? kOnboardLan : data.ConsumeIntegral<std::uint32_t>();
    endpoint.command = Either(data, endpoint.command);
    if (data.ConsumeBool()) {
      // None, or any 128 KiB window in the memory-mapped I/O hole below the
      // flash (where both engines can map it), with any type and prefetch bits.
      const std::uint32_t window = data.ConsumeIntegralInRange<std::uint32_t>(0, kBarWindows - 1);
      const std::uint32_t base = data.ConsumeBool() ? 0 : kMmioHole + window * kBarWindowSize;
      endpoint.bar0 = base | (data.ConsumeBool() ? 0x4u : 0u) | (data.ConsumeBool() ? 0x8u : 0u);
    }
  }
}

void FuzzServices(FuzzedDataProvider &data, BoardConfig &board) {
  const unsigned count = data.ConsumeIntegralInRange(0u, 4u);
  for (unsigned i = 0; i < count; ++i) {
    InjectedFailure failure;
    const auto service = data.ConsumeIntegralInRange<unsigned>(0, static_cast<unsigned>(Service::Count) - 1);
    failure.service = InfoOf(static_cast<Service>(service)).name;
    failure.nth = data.ConsumeIntegralInRange(1u, 4u);
    failure.status = data.ConsumeBool() ? data.PickValueInArray(kStatuses) : data.ConsumeIntegral<std::uint64_t>();
    board.failures.push_back(failure);
  }
}

// The steps of the DXE phase, in the order the bytes choose.
enum class Step : std::uint8_t {
  LoadDxe,
  PortLocator,
  SetupString,
  Smbios,
  ReadyToBoot,
  HookMembers,
  LanQuery,
  PpiMembers,
  Count
};

// What the consumers last learnt, and the steps in the order they ran: the
// scoreboard replays the same order.
struct StepsRun {
  std::vector<BootStep> steps;
  std::optional<HookAnswers> hook;
  std::optional<LanMacResult> lan;
  std::optional<PpiAnswers> ppi;
};

void RunSteps(FuzzedDataProvider &data, Boot &boot, StepsRun &run, std::vector<std::string> &violations) {
  boot.RunPei();
  std::array<bool, static_cast<std::size_t>(Step::Count)> done{};
  const auto query = [&](bool nullBuffer, bool nullOut, std::uint8_t fill) {
    run.steps.push_back(nullBuffer || nullOut ? BootStep::QueryLanMacsNullList : BootStep::QueryLanMacs);
    run.lan = QueryLanMacsGuarded(boot, nullBuffer, nullOut, fill, violations);
  };
  const unsigned steps = data.ConsumeIntegralInRange(1u, 12u);
  for (unsigned i = 0; i < steps; ++i) {
    const auto step =
        static_cast<Step>(data.ConsumeIntegralInRange<unsigned>(0, static_cast<unsigned>(Step::Count) - 1));
    bool &once = done[static_cast<std::size_t>(step)];
    switch (step) {
      case Step::LoadDxe:
        if (!once) boot.LoadDxe();
        run.steps.push_back(BootStep::LoadDxe);
        break;
      case Step::PortLocator:
        if (!once) boot.InstallPortLocator();
        run.steps.push_back(BootStep::InstallPortLocator);
        break;
      case Step::SetupString:
        if (!once) boot.InstallSetupStringService();
        run.steps.push_back(BootStep::InstallSetupStringService);
        break;
      case Step::Smbios:
        if (!once) boot.InstallSmbiosService();
        run.steps.push_back(BootStep::InstallSmbiosService);
        break;
      case Step::ReadyToBoot:
        boot.SignalReadyToBoot();
        run.steps.push_back(BootStep::SignalReadyToBoot);
        break;
      case Step::HookMembers:
        run.hook = boot.CallHookMembers();
        run.steps.push_back(BootStep::CallHookMembers);
        break;
      case Step::LanQuery: {
        const bool nullBuffer = data.ConsumeIntegralInRange(0, 7) == 0;
        const bool nullOut = data.ConsumeIntegralInRange(0, 7) == 0;
        query(nullBuffer, nullOut, data.ConsumeIntegral<std::uint8_t>());
        break;
      }
      case Step::PpiMembers:
        run.ppi = boot.CallPpiMembers();
        run.steps.push_back(BootStep::CallPpiMembers);
        break;
      case Step::Count:
        break;
    }
    once = true;
  }
  // Whatever came before, the driver is loaded and every consumer calls once
  // more at the end, so every boot reaches the members.
  if (!done[static_cast<std::size_t>(Step::LoadDxe)]) {
    boot.LoadDxe();
    run.steps.push_back(BootStep::LoadDxe);
  }
  run.hook = boot.CallHookMembers();
  run.steps.push_back(BootStep::CallHookMembers);
  query(false, false, 0xA5);
  run.ppi = boot.CallPpiMembers();
  run.steps.push_back(BootStep::CallPpiMembers);
}

SmbiosCopy CopyOf(SmbiosReadQuirk quirk, const std::vector<std::uint8_t> &garbage) {
  switch (quirk) {
    case SmbiosReadQuirk::NullBuffer:
      return {SmbiosCopy::Kind::NoBuffer, 0, {}};
    case SmbiosReadQuirk::ShortRecord:
      return {SmbiosCopy::Kind::Truncated, 2, {}};
    case SmbiosReadQuirk::HeaderOnly:
      return {SmbiosCopy::Kind::Truncated, 4, {}};
    case SmbiosReadQuirk::Garbage:
      return {SmbiosCopy::Kind::Fixed, 0, garbage};
    case SmbiosReadQuirk::None:
      break;
  }
  return {};
}

// The boot beside the scoreboard's expected outcome for the same board, the
// same steps in the same order and the same SMBIOS service. Every outcome a
// consumer can see is judged (statuses, PPI, PCD, lanes, Setup texts, slot
// records, hook answers, the last LAN query's lists, Command registers),
// except the MAC lists when a copy read an address no controller decodes:
// that is plain memory, which no board description holds. The boot's
// problems (leaks, unexpected accesses) are not judged here: the bytes
// provoke some on purpose (an injected FreePool failure leaves its copy).
void Judge(Boot &boot, const StepsRun &run, const SmbiosCopy &copy, BootRecord &record,
           std::vector<std::string> &violations) {
  record.hook = run.hook;
  record.lan = run.lan;
  record.ppi = run.ppi;
  const ExpectedBoot expected = ExpectedOutcome(boot.Board(), run.steps, copy);
  for (const Problem &problem : JudgedProblems(expected, SeenOutcome(record)))
    violations.push_back("Problem: " + ProblemText(problem));
}

}  // namespace

FuzzedBootResult RunFuzzedBoot(std::span<const std::uint8_t> bytes, Engine &engine, bool keepRecord) {
  FuzzedDataProvider data(bytes.data(), bytes.size());
  const auto boards = NamedBoards();
  BoardConfig board = NamedBoard(boards[data.ConsumeIntegralInRange<std::size_t>(0, boards.size() - 1)]).value();
  FuzzPads(data, board);
  FuzzPci(data, board);
  FuzzServices(data, board);
  board.setupStringService = data.ConsumeBool();
  board.smbiosService = data.ConsumeBool();
  board.pcdPpi = data.ConsumeBool();
  if (!CheckBoard(board).empty()) return {};

  FuzzedBootResult result{true, {}, board, std::nullopt};
  Boot boot(board, engine);
  SmbiosReadQuirk quirk = SmbiosReadQuirk::None;
  std::vector<std::uint8_t> garbage;
  switch (data.ConsumeIntegralInRange(0, 5)) {
    case 0:
      quirk = SmbiosReadQuirk::NullBuffer;
      boot.Services().SetSmbiosReadQuirk(quirk);
      break;
    case 1:
      quirk = SmbiosReadQuirk::ShortRecord;
      boot.Services().SetSmbiosReadQuirk(quirk);
      break;
    case 2:
      quirk = SmbiosReadQuirk::Garbage;
      garbage = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 8));
      boot.Services().SetSmbiosGarbage(garbage);
      break;
    default:
      break;
  }
  StepsRun run;
  BootRecord record;
  try {
    RunSteps(data, boot, run, result.violations);
    if (keepRecord) {
      RecordState(boot, engine, record);
    } else {
      RecordResults(boot, record);
    }
    Judge(boot, run, CopyOf(quirk, garbage), record, result.violations);
  } catch (const std::exception &error) {
    result.violations.push_back(std::string("the boot ended with: ") + error.what());
    if (keepRecord) RecordState(boot, engine, record);
    record.stopped = error.what();
  }
  if (keepRecord) result.record = std::move(record);
  for (auto &violation : CheckBootInvariants(boot)) result.violations.push_back(std::move(violation));
  return result;
}

}  // namespace boardsim::fuzz
