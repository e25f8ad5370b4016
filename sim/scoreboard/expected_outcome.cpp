#include "sim/scoreboard/expected_outcome.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "sim/base/board_text.h"
#include "sim/base/status_names.h"
#include "sim/board/address_map.h"
#include "sim/board/failure_schedule.h"

namespace boardsim {
namespace {

// The board's facts as its documents give them, written here apart from
// the modules' own tables.
constexpr std::uint32_t kRiserPad0 = 0x030A0000;  // GPP_K pad 0, H series
constexpr std::uint16_t kLpSeriesMasked = 0x9D80;
constexpr std::uint8_t kX16Code = 0x0E;
constexpr std::uint8_t kX8Code = 0x0C;
constexpr std::uint32_t kMacOffset = 0x5400;
constexpr std::uint64_t kPromptToken = 0x1A2B;
constexpr std::uint64_t kHelpToken = 0x1A2C;
constexpr std::uint32_t kEthernetController = 0x15338086;
constexpr char kBoardName[] = "KRV7-DM3TQA";
constexpr std::array<std::uint32_t, 3> kSecondListPorts = {0x18C, 0x18D, 0x18E};
constexpr std::uint32_t kFirstListPort = 0x8;
constexpr std::size_t kSecondListSlots = 3;
constexpr std::uint64_t kTopBit = 1ull << 63;

bool IsError(std::uint64_t status) { return (status & kTopBit) != 0; }

// The calls the modules make, in the order they make them, each offered to
// the board's failure schedule as the simulator's cores offer theirs.
class Replay {
 public:
  Replay(const BoardConfig &board, std::vector<std::string> &injected)
      : schedule_(board.failures), injected_(injected) {}

  // The value an injection puts in place of the call's own, if any: a
  // status, the bridge a lookup answers, or a copy skipped (any value).
  std::optional<std::uint64_t> Call(std::string_view service, std::string_view callText = {}) {
    const auto failure = schedule_.OnCall(service, CallArguments(callText));
    if (!failure) return std::nullopt;
    current_ = *failure;
    return failure->status;
  }
  // Says where the last injected call took effect.
  void Took(const std::string &effect) {
    Took((IsError(current_.status) ? "failed with " : "returned ") + StatusName(current_.status), effect);
  }
  void Took(const std::string &happened, const std::string &effect) {
    injected_.push_back(FailureTarget(current_) + " " + happened + " (injected): " + effect);
  }

 private:
  FailureSchedule schedule_;
  std::vector<std::string> &injected_;
  InjectedFailure current_;
};

// A call whose own work succeeds: the injection, if any, is its status.
struct CallResult {
  std::uint64_t status = 0;
  bool injected = false;
  bool Error() const { return IsError(status); }
};

CallResult Status(Replay &replay, std::string_view service, std::string_view callText = {}) {
  // An injected EFI_SUCCESS changes nothing.
  const auto injected = replay.Call(service, callText);
  return {injected.value_or(0), injected.value_or(0) != 0};
}

// A PEI service's status as BoardPei sees it: 32 bits, the error bit at 31.
CallResult PeiStatus(Replay &replay, std::string_view service, std::string_view callText = {}) {
  CallResult result = Status(replay, service, callText);
  result.status = IaStatus(result.status);
  result.injected = result.status != 0;
  return result;
}

void ReadRiser(const BoardConfig &board, ExpectedBoot &expected) {
  const bool lp = (board.pchDeviceId & 0xFFE0) == kLpSeriesMasked;
  unsigned level = 0;
  std::uint8_t code = 0;
  std::string text;
  for (unsigned i = 0; i < 4; ++i) {
    text += (i ? ", pad " : "pad ") + std::to_string(i);
    const auto pad = board.pads.find(kRiserPad0 + i);
    const PadState state = pad != board.pads.end() ? pad->second : PadState{};
    const unsigned owner = state.owner & 3;
    if (!lp && owner == 0) {
      level = (state.dw0 >> 1) & 1;
      text += " reads " + std::to_string(level);
    } else {
      text += lp ? " not on this PCH" : " owned by agent " + std::to_string(owner);
      text += ": repeats the previous level (" + std::to_string(level) + ")";
    }
    code = static_cast<std::uint8_t>(code | (level << i));
  }
  expected.riserCode = code;
  expected.riserPads = text;
}

void RunPei(const BoardConfig &board, Replay &replay, Outcome &outcome) {
  if (const auto r = PeiStatus(replay, "PEI.AllocatePool", "PEI.AllocatePool(12 bytes)"); r.Error()) {
    outcome.peiStatus = r.status;
    replay.Took("BoardPei returns it; no PPI, PCD or lane write");
    return;
  }
  if (const auto r = PeiStatus(replay, "PEI.InstallPpi"); r.Error()) {
    outcome.peiStatus = r.status;
    replay.Took("BoardPei returns it; no PCD or lane write");
    return;
  }
  outcome.ppisInstalled = {"BOARD_HOOK_PPI"};
  const auto located = PeiStatus(replay, "PEI.LocatePpi", "PEI.LocatePpi(PCD_PPI, instance 0)");
  if (located.Error()) replay.Took("PCD_PPI not found: token 5 not written");
  if (board.pcdPpi && !located.Error()) {
    if (const auto r = PeiStatus(replay, "PCD.SetPointer", "PCD.SetPointer(token 5)"); r.Error()) {
      replay.Took("token 5 not written");
    } else {
      std::vector<std::uint8_t> name;
      for (const char c : std::string_view(kBoardName, sizeof kBoardName))
        name.insert(name.end(), {std::uint8_t(c), 0});
      // The platform's PCD database refuses a value larger than the token
      // it declared (OVMF's token 5 holds 8 bytes); an undeclared token
      // takes up to a page.
      const auto declared = board.peiPcdSizes.find(5);
      const std::uint64_t capacity = declared == board.peiPcdSizes.end() ? 0x1000 : declared->second;
      if (name.size() <= capacity) outcome.pcdBoardName = name;
    }
  }
  // Lane 19, then lane 21: both in port 0xA8, whose first lane is 14.
  outcome.laneWrites = {{0xA8, (19 - 14) * 0x400 + 0x158, 0x152F2800}, {0xA8, (21 - 14) * 0x400 + 0x158, 0x152F2800}};
  outcome.peiStatus = 0;
}

// A configuration read as the board's functions answer it: the PCH at
// 0:31.0, the bridges at their bus/device/function, each controller at
// device 0 of its bus; all ones where there is no function. Only the
// registers BoardDxe reads are modelled.
constexpr std::uint16_t kPchBdf = 31 << 3;

struct PciFunction {
  const PciBridge *bridge = nullptr;
  const PciEndpoint *endpoint = nullptr;
  bool pch = false;
  bool Present() const { return bridge != nullptr || endpoint != nullptr || pch; }
};

PciFunction FunctionAt(const BoardConfig &board, std::uint16_t bdf) {
  PciFunction function;
  for (const PciBridge &bridge : board.bridges)
    if (bridge.bdf == bdf) function.bridge = &bridge;
  for (const PciEndpoint &endpoint : board.endpoints)
    if (static_cast<std::uint16_t>(endpoint.bus << 8) == bdf) function.endpoint = &endpoint;
  function.pch = bdf == kPchBdf;
  return function;
}

// Offset 0x1A: a bridge's subordinate bus; 0 in the other headers.
std::uint8_t SubordinateBus(const PciFunction &function) {
  if (function.bridge != nullptr) return function.bridge->subordinateBus;
  return function.Present() ? 0 : 0xFF;
}

std::uint32_t VendorDevice(const PciFunction &function) {
  if (function.endpoint != nullptr) return function.endpoint->vendorDevice;
  if (function.bridge != nullptr) return function.bridge->vendorDevice;
  return 0xFFFFFFFF;
}

// The six bytes a copy from this 32-bit address gets: the controllers'
// register windows (at their BAR, the first in board order answering) hold
// their MAC at 0x5400 and read 0 elsewhere. An unassigned BAR decodes
// nothing: the copy then reads memory, which the description does not hold.
std::optional<std::array<std::uint8_t, 6>> MacAt(const BoardConfig &board, std::uint32_t source) {
  for (const PciEndpoint &endpoint : board.endpoints) {
    const std::uint64_t base = endpoint.bar0 & ~0xFu;
    if (base == 0 || source < base || source >= base + address_map::kEthernetWindowSize) continue;
    std::array<std::uint8_t, 6> mac{};
    for (unsigned i = 0; i < mac.size(); ++i) {
      const std::uint64_t offset = source + i - base;
      if (offset >= kMacOffset && offset < kMacOffset + mac.size()) mac[i] = endpoint.mac[offset - kMacOffset];
    }
    return mac;
  }
  return std::nullopt;
}

// BoardDxe and the DXE phase around it, step by step. The state is what the
// driver and the core keep between steps: which events are open and
// registered, which services are installed, the cached port locator, the
// slot records left, the Command writes.
class DxeModel {
 public:
  DxeModel(const BoardConfig &board, Replay &replay, const SmbiosCopy &copy, ExpectedBoot &expected)
      : board_(board),
        replay_(replay),
        copy_(copy),
        expected_(expected),
        outcome_(expected.outcome),
        remaining_(board.smbiosSlots) {
    for (const PciEndpoint &endpoint : board.endpoints)
      outcome_.commands.push_back({endpoint.bus, endpoint.command, 0});
  }

  void Run(BootStep step) {
    switch (step) {
      case BootStep::LoadDxe:
        if (!loaded_) Load();
        loaded_ = true;
        break;
      case BootStep::InstallPortLocator:
        portLocator_ = true;
        break;
      case BootStep::InstallSetupStringService:
        // A service installed before the driver registered for it does not
        // signal the driver's event.
        if (!setupInstalled_ && setupArmed_) SetupHandler();
        setupInstalled_ = true;
        break;
      case BootStep::InstallSmbiosService:
        if (!smbiosInstalled_ && smbiosArmed_) SmbiosHandler();
        smbiosInstalled_ = true;
        break;
      case BootStep::SignalReadyToBoot:
        // The handler closes its event; while a close fails it stays open.
        if (readyToBootOpen_) readyToBootOpen_ = Status(replay_, "BS.CloseEvent").Error();
        break;
      case BootStep::CallHookMembers:
        if (hookInstalled_) {
          HookOutcome answers;
          answers.members = {0, 0, 0, std::nullopt, std::nullopt, 1, 0, std::nullopt};
          outcome_.hook = answers;
        }
        break;
      case BootStep::QueryLanMacs:
        if (hookInstalled_) LanQuery();
        break;
      case BootStep::QueryLanMacsNullList:
        break;
      case BootStep::CallPpiMembers:
        if (!outcome_.ppisInstalled.empty()) {
          PpiOutcome ppi;
          ppi.members[0] = 0;
          ppi.members[3] = 0;
          ppi.members[4] = 1;
          ppi.info = {0x15, 0x1B, 0x01, 0x01};
          ppi.flag = 0x01;
          outcome_.ppi = ppi;
        }
        break;
    }
  }

  void Finish() { outcome_.slotsKept = remaining_; }

 private:
  void Load() {
    const auto hook = Status(replay_, "BS.InstallProtocolInterface");
    hookInstalled_ = !hook.Error();
    if (hook.Error()) replay_.Took("BOARD_HOOK_PROTOCOL not installed: no answers, no LAN MAC query");
    readyToBootOpen_ = !Status(replay_, "BS.CreateEventEx").Error();
    if (!readyToBootOpen_) replay_.Took("no ReadyToBoot handler");
    if (Status(replay_, "BS.CreateEvent").Error()) {
      replay_.Took("the Setup string handler is not registered: no Setup text set");
    } else if (Status(replay_, "BS.RegisterProtocolNotify").Error()) {
      replay_.Took("the Setup string handler is not registered: no Setup text set");
    } else {
      setupArmed_ = true;
    }
    if (const auto event3 = Status(replay_, "BS.CreateEvent"); event3.status != 0) {
      outcome_.dxeStatus = event3.status;
      replay_.Took("BoardDxe returns it; the SMBIOS slot handler is not registered: no slot record deleted");
    } else {
      const auto registered = Status(replay_, "BS.RegisterProtocolNotify");
      outcome_.dxeStatus = registered.status;
      smbiosArmed_ = !registered.Error();
      if (registered.injected)
        replay_.Took(std::string("BoardDxe returns it") +
                     (smbiosArmed_ ? "" : "; the SMBIOS slot handler is not registered: no slot record deleted"));
    }
  }

  void SetupHandler() {
    if (const auto r = Status(replay_, "BS.LocateProtocol"); r.Error()) {
      replay_.Took("SETUP_STRING_PROTOCOL not found: no Setup text set, the handler stays armed");
      return;
    }
    Status(replay_, "BS.CloseEvent");
    const std::uint8_t code = expected_.riserCode;
    const bool x16 = code == kX16Code;
    if (!x16 && code != kX8Code) return;
    const std::string model = x16 ? "VKT-PM2W-Q37" : "VKT-PM2W-Q5";
    const SetupTextOutcome texts[] = {
        {"Setup", kPromptToken, model + " PCI-E 3.0 " + (x16 ? "X16" : "X8") + " OPROM"},
        {"Setup", kHelpToken, "Enable or Disable " + model + " OPROM option."},
    };
    for (const auto &text : texts) {
      if (Status(replay_, "SETUP.SetString").Error()) {
        replay_.Took("token " + Hex(text.token, 4) + " keeps Setup's own text");
        continue;
      }
      outcome_.setupTexts.push_back(text);
    }
  }

  void SmbiosHandler() {
    Status(replay_, "BS.CloseEvent");
    const std::uint8_t code = expected_.riserCode;
    const std::array<std::uint8_t, 2> order = code == kX8Code    ? std::array<std::uint8_t, 2>{2, 1}
                                              : code == kX16Code ? std::array<std::uint8_t, 2>{3, 1}
                                                                 : std::array<std::uint8_t, 2>{3, 2};
    for (const std::uint8_t instance : order) DeleteRecord(instance);
  }

  // The 16-bit handle at bytes 2 and 3 of the copy the service hands back,
  // if the copy holds a whole header; whether there is a copy to free.
  std::optional<std::uint16_t> CopiedHandle(const SmbiosSlotRecord &record, bool &copied) const {
    copied = copy_.kind != SmbiosCopy::Kind::NoBuffer;
    switch (copy_.kind) {
      case SmbiosCopy::Kind::Record:
        return record.handle;
      case SmbiosCopy::Kind::NoBuffer:
        return std::nullopt;
      case SmbiosCopy::Kind::Truncated:
        if (copy_.keep < 4) return std::nullopt;
        return record.handle;
      case SmbiosCopy::Kind::Fixed:
        if (copy_.bytes.size() < 4) return std::nullopt;
        return static_cast<std::uint16_t>(copy_.bytes[2] | copy_.bytes[3] << 8);
    }
    return std::nullopt;
  }

  void DeleteRecord(std::uint8_t instance) {
    const std::string which = "instance " + std::to_string(instance);
    if (Status(replay_, "BS.LocateProtocol").Error()) {
      replay_.Took("SMBIOS_TABLE_PROTOCOL not found: " + which + " kept");
      return;
    }
    const auto read = Status(replay_, "SMBIOS.ReadStructure",
                             "SMBIOS.ReadStructure(type 9, instance " + std::to_string(instance) + ")");
    if (read.Error()) {
      replay_.Took(which + " kept");
      return;
    }
    // The service numbers the remaining records from 1: a deletion renumbers those after it.
    if (instance > remaining_.size()) return;  // the service has no such record
    bool copied = false;
    if (const auto handle = CopiedHandle(remaining_[instance - 1], copied)) {
      const auto deleted =
          Status(replay_, "SMBIOS.DeleteStructure", "SMBIOS.DeleteStructure(handle " + Hex(*handle, 4) + ")");
      const auto record = std::find_if(remaining_.begin(), remaining_.end(),
                                       [&](const SmbiosSlotRecord &slot) { return slot.handle == *handle; });
      if (deleted.Error()) {
        replay_.Took(which + " kept");
      } else if (record != remaining_.end()) {
        outcome_.slotsDeleted.push_back(*record);
        remaining_.erase(record);
      }
    }
    if (copied) Status(replay_, "BS.FreePool");
  }

  // The LAN MAC query with fresh caller buffers.
  void LanQuery() {
    LanOutcome lan;
    bool known = true;
    const auto probe = [&](std::uint32_t port, MacListOutcome &list, std::size_t slots) {
      if (!locatorCached_) {
        const auto r = Status(replay_, "BS.LocateProtocol");
        if (r.Error()) replay_.Took("PORT_LOCATOR_PROTOCOL not found: port " + Hex(port, 1) + " not looked up");
        locatorCached_ = portLocator_ && !r.Error();
        if (!locatorCached_) return;
      }
      // The port is a dynamic PCD token: Get32 answers its value (all ones for
      // a token the database lacks), and the driver keeps the low 16 bits.
      std::uint32_t answer = 0xFFFFFFFF;
      if (const auto token = board_.pcdTokens.find(port); token != board_.pcdTokens.end())
        answer = static_cast<std::uint32_t>(token->second.value);
      if (const auto injected = replay_.Call("PCD.Get32", "PCD.Get32(token " + Hex(port, 1) + ")")) {
        answer = static_cast<std::uint32_t>(*injected);
        replay_.Took("answered " + Hex(answer, 8), "token " + Hex(port, 1) + " looked up there");
      }
      const std::uint8_t bus = SubordinateBus(FunctionAt(board_, static_cast<std::uint16_t>(answer & 0xFFFF)));
      const PciFunction device = FunctionAt(board_, static_cast<std::uint16_t>(bus << 8));
      if (VendorDevice(device) != kEthernetController) return;
      ++list.count;
      const std::uint32_t bar = device.endpoint != nullptr ? device.endpoint->bar0 : 0;
      auto mac = MacAt(board_, (bar & ~0xFu) + kMacOffset);
      if (replay_.Call("BS.CopyMem")) {
        mac = std::array<std::uint8_t, 6>{};
        replay_.Took("copied nothing", "the MAC of bus " + Hex(bus, 2) + " reads 00:00:00:00:00:00");
      }
      known = known && mac.has_value();
      if (list.addresses.size() < slots) list.addresses.push_back(mac.value_or(std::array<std::uint8_t, 6>{}));
      for (CommandOutcome &command : outcome_.commands)
        if (device.endpoint != nullptr && command.bus == bus) command.writes += 2;
    };
    probe(kFirstListPort, lan.first, 1);
    for (const std::uint32_t port : kSecondListPorts) probe(port, lan.second, kSecondListSlots);
    outcome_.lan = lan;
    std::erase(expected_.unknown, std::string("LAN MAC first list"));
    std::erase(expected_.unknown, std::string("LAN MAC second list"));
    if (!known) expected_.unknown.insert(expected_.unknown.end(), {"LAN MAC first list", "LAN MAC second list"});
  }

  const BoardConfig &board_;
  Replay &replay_;
  const SmbiosCopy &copy_;
  ExpectedBoot &expected_;
  Outcome &outcome_;
  std::vector<SmbiosSlotRecord> remaining_;
  bool loaded_ = false;
  bool hookInstalled_ = false;
  bool readyToBootOpen_ = false;
  bool setupArmed_ = false;
  bool smbiosArmed_ = false;
  bool setupInstalled_ = false;
  bool smbiosInstalled_ = false;
  bool portLocator_ = false;
  bool locatorCached_ = false;
};

}  // namespace

std::vector<BootStep> DefaultBootSteps(const BoardConfig &board) {
  std::vector<BootStep> steps;
  if (board.portLocator) steps.push_back(BootStep::InstallPortLocator);
  steps.push_back(BootStep::LoadDxe);
  if (board.setupStringService) steps.push_back(BootStep::InstallSetupStringService);
  if (board.smbiosService) steps.push_back(BootStep::InstallSmbiosService);
  steps.insert(steps.end(), {BootStep::SignalReadyToBoot, BootStep::CallPpiMembers, BootStep::CallHookMembers,
                             BootStep::QueryLanMacs});
  return steps;
}

ExpectedBoot ExpectedOutcome(const BoardConfig &board) { return ExpectedOutcome(board, DefaultBootSteps(board)); }

ExpectedBoot ExpectedOutcome(const BoardConfig &board, std::span<const BootStep> steps, const SmbiosCopy &copy) {
  ExpectedBoot expected;
  ReadRiser(board, expected);
  Replay replay(board, expected.injected);
  RunPei(board, replay, expected.outcome);
  DxeModel dxe(board, replay, copy, expected);
  for (const BootStep step : steps) dxe.Run(step);
  dxe.Finish();
  return expected;
}

std::vector<Problem> JudgedProblems(const ExpectedBoot &expected, const Outcome &seen) {
  std::vector<Problem> problems = Compare(expected.outcome, seen);
  std::erase_if(problems, [&](const Problem &problem) {
    return std::find(expected.unknown.begin(), expected.unknown.end(), problem.outcome) != expected.unknown.end();
  });
  return problems;
}

}  // namespace boardsim
