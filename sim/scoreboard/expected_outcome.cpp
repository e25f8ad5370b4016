#include "sim/scoreboard/expected_outcome.h"

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
  PpiOutcome ppi;
  ppi.members[0] = 0;
  ppi.members[3] = 0;
  ppi.members[4] = 1;
  ppi.info = {0x15, 0x1B, 0x01, 0x01};
  ppi.flag = 0x01;
  outcome.ppi = ppi;
}

void RunSetupHandler(Replay &replay, std::uint8_t code, Outcome &outcome) {
  if (const auto r = Status(replay, "BS.LocateProtocol"); r.Error()) {
    replay.Took("SETUP_STRING_PROTOCOL not found: no Setup text set, the handler stays armed");
    return;
  }
  Status(replay, "BS.CloseEvent");
  const bool x16 = code == kX16Code;
  if (!x16 && code != kX8Code) return;
  const std::string model = x16 ? "VKT-PM2W-Q37" : "VKT-PM2W-Q5";
  const SetupTextOutcome texts[] = {
      {"Setup", kPromptToken, model + " PCI-E 3.0 " + (x16 ? "X16" : "X8") + " OPROM"},
      {"Setup", kHelpToken, "Enable or Disable " + model + " OPROM option."},
  };
  for (const auto &text : texts) {
    if (Status(replay, "SETUP.SetString").Error()) {
      replay.Took("token " + Hex(text.token, 4) + " keeps Setup's own text");
      continue;
    }
    outcome.setupTexts.push_back(text);
  }
}

void RunSmbiosHandler(const BoardConfig &board, Replay &replay, std::uint8_t code, Outcome &outcome) {
  Status(replay, "BS.CloseEvent");
  const std::array<std::uint8_t, 2> order = code == kX8Code    ? std::array<std::uint8_t, 2>{2, 1}
                                            : code == kX16Code ? std::array<std::uint8_t, 2>{3, 1}
                                                               : std::array<std::uint8_t, 2>{3, 2};
  // The service numbers the remaining records from 1: a deletion renumbers those after it.
  std::vector<SmbiosSlotRecord> remaining = board.smbiosSlots;
  for (const std::uint8_t instance : order) {
    const std::string which = "instance " + std::to_string(instance);
    if (Status(replay, "BS.LocateProtocol").Error()) {
      replay.Took("SMBIOS_TABLE_PROTOCOL not found: " + which + " kept");
      continue;
    }
    const auto read = Status(replay, "SMBIOS.ReadStructure",
                             "SMBIOS.ReadStructure(type 9, instance " + std::to_string(instance) + ")");
    if (read.Error()) {
      replay.Took(which + " kept");
      continue;
    }
    if (instance > remaining.size()) continue;  // the service has no such record
    const SmbiosSlotRecord record = remaining[instance - 1];
    const auto deleted =
        Status(replay, "SMBIOS.DeleteStructure", "SMBIOS.DeleteStructure(handle " + Hex(record.handle, 4) + ")");
    Status(replay, "BS.FreePool");
    if (deleted.Error()) {
      replay.Took(which + " kept");
      continue;
    }
    outcome.slotsDeleted.push_back(record);
    remaining.erase(remaining.begin() + (instance - 1));
  }
  outcome.slotsKept = remaining;
}

// The six bytes a copy from this 32-bit address gets: the controllers'
// register windows (at their BAR, the first in board order answering) hold
// their MAC at 0x5400 and read 0 elsewhere. An unassigned BAR decodes nothing.
std::array<std::uint8_t, 6> MacAt(const BoardConfig &board, std::uint32_t source) {
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
  return {};
}

// The LAN MAC query with fresh caller buffers.
void RunLanQuery(const BoardConfig &board, Replay &replay, Outcome &outcome) {
  LanOutcome lan;
  bool located = false;
  const auto probe = [&](std::uint32_t port, MacListOutcome &list, std::size_t slots) {
    if (!located) {
      const auto r = Status(replay, "BS.LocateProtocol");
      if (r.Error()) replay.Took("PORT_LOCATOR_PROTOCOL not found: port " + Hex(port, 1) + " not looked up");
      located = board.portLocator && !r.Error();
      if (!located) return;
    }
    // The port is a dynamic PCD token: Get32 answers its value (all ones for
    // a token the database lacks), and the driver keeps the low 16 bits.
    std::uint32_t answer = 0xFFFFFFFF;
    if (const auto token = board.pcdTokens.find(port); token != board.pcdTokens.end())
      answer = static_cast<std::uint32_t>(token->second.value);
    if (const auto injected = replay.Call("PCD.Get32", "PCD.Get32(token " + Hex(port, 1) + ")")) {
      answer = static_cast<std::uint32_t>(*injected);
      replay.Took("answered " + Hex(answer, 8), "token " + Hex(port, 1) + " looked up there");
    }
    const auto bdf = static_cast<std::uint16_t>(answer & 0xFFFF);
    std::optional<std::uint8_t> bus;
    for (const PciBridge &bridge : board.bridges)
      if (bridge.bdf == bdf) bus = bridge.subordinateBus;
    if (!bus) return;
    for (const PciEndpoint &endpoint : board.endpoints) {
      if (endpoint.bus != *bus) continue;
      if (endpoint.vendorDevice != kEthernetController) return;
      ++list.count;
      std::array<std::uint8_t, 6> mac = MacAt(board, (endpoint.bar0 & ~0xFu) + kMacOffset);
      if (replay.Call("BS.CopyMem")) {
        mac = {};
        replay.Took("copied nothing", "the MAC of bus " + Hex(*bus, 2) + " reads 00:00:00:00:00:00");
      }
      if (list.addresses.size() < slots) list.addresses.push_back(mac);
      for (CommandOutcome &command : outcome.commands)
        if (command.bus == *bus) command.writes += 2;
      return;
    }
  };
  probe(kFirstListPort, lan.first, 1);
  for (const std::uint32_t port : kSecondListPorts) probe(port, lan.second, kSecondListSlots);
  outcome.lan = lan;
}

void RunDxe(const BoardConfig &board, Replay &replay, std::uint8_t code, Outcome &outcome) {
  const auto hook = Status(replay, "BS.InstallProtocolInterface");
  if (hook.Error()) replay.Took("BOARD_HOOK_PROTOCOL not installed: no answers, no LAN MAC query");
  const bool readyToBoot = !Status(replay, "BS.CreateEventEx").Error();
  if (!readyToBoot) replay.Took("no ReadyToBoot handler");
  bool setupArmed = false;
  if (Status(replay, "BS.CreateEvent").Error()) {
    replay.Took("the Setup string handler is not registered: no Setup text set");
  } else if (Status(replay, "BS.RegisterProtocolNotify").Error()) {
    replay.Took("the Setup string handler is not registered: no Setup text set");
  } else {
    setupArmed = true;
  }
  bool smbiosArmed = false;
  if (const auto event3 = Status(replay, "BS.CreateEvent"); event3.status != 0) {
    outcome.dxeStatus = event3.status;
    replay.Took("BoardDxe returns it; the SMBIOS slot handler is not registered: no slot record deleted");
  } else {
    const auto registered = Status(replay, "BS.RegisterProtocolNotify");
    outcome.dxeStatus = registered.status;
    smbiosArmed = !registered.Error();
    if (registered.injected)
      replay.Took(std::string("BoardDxe returns it") +
                  (smbiosArmed ? "" : "; the SMBIOS slot handler is not registered: no slot record deleted"));
  }

  if (board.setupStringService && setupArmed) RunSetupHandler(replay, code, outcome);
  if (board.smbiosService && smbiosArmed) {
    RunSmbiosHandler(board, replay, code, outcome);
  } else {
    outcome.slotsKept = board.smbiosSlots;
  }
  if (readyToBoot) Status(replay, "BS.CloseEvent");

  for (const PciEndpoint &endpoint : board.endpoints) outcome.commands.push_back({endpoint.bus, endpoint.command, 0});
  if (hook.Error()) return;
  HookOutcome answers;
  answers.members = {0, 0, 0, std::nullopt, std::nullopt, 1, 0, std::nullopt};
  outcome.hook = answers;
  RunLanQuery(board, replay, outcome);
}

}  // namespace

ExpectedBoot ExpectedOutcome(const BoardConfig &board) {
  ExpectedBoot expected;
  ReadRiser(board, expected);
  Replay replay(board, expected.injected);
  RunPei(board, replay, expected.outcome);
  RunDxe(board, replay, expected.riserCode, expected.outcome);
  return expected;
}

}  // namespace boardsim
