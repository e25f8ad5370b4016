#include "sim/boot/boot.h"

#include <algorithm>
#include <stdexcept>

#include "sim/base/status_names.h"
#include "sim/core/known_guids.h"
#include "uefi/status.h"

namespace boardsim {
namespace {

constexpr std::uint8_t kUntouched = 0xA5;
constexpr std::size_t kFirstListOffset = 3;
constexpr std::size_t kBufferSize = 10;
constexpr std::size_t kOutSize = 19;
constexpr std::size_t kMacSize = 6;

}  // namespace

MacList ReadMacList(const std::vector<std::uint8_t> &bytes, std::size_t at) {
  MacList list;
  list.count = bytes[at];
  for (std::size_t k = 0; k < list.count && at + 1 + (k + 1) * kMacSize <= bytes.size(); ++k) {
    std::array<std::uint8_t, 6> mac{};
    for (std::size_t i = 0; i < kMacSize; ++i) mac[i] = bytes[at + 1 + k * kMacSize + i];
    list.addresses.push_back(mac);
  }
  return list;
}

Boot::Boot(BoardConfig board, Engine &engine, BootOptions options)
    : board_(std::move(board)), options_(options), failures_(board_.failures), hardware_(board_, trace_) {
  peiMachine_ = engine.CreateMachine(Phase::Pei, *this, hardware_);
  dxeMachine_ = engine.CreateMachine(Phase::Dxe, *this, hardware_);
  pei_ = std::make_unique<PeiCore>(board_, *peiMachine_, trace_, failures_, options_.separatePeiEntryPointer);
  dxe_ = std::make_unique<DxeCore>(*dxeMachine_, trace_, failures_, hardware_);
  dxe_->ObserveNotifications([this](const std::string &event, std::uint64_t instructions) {
    instructions_.emplace_back(event, instructions);
  });
  services_ = std::make_unique<OutsideServices>(board_, *dxeMachine_, *dxe_, trace_, failures_);
  pcd_ = std::make_unique<DxePcd>(board_, *dxeMachine_, trace_, failures_);
}

// The trace goes with the boot: none of its register accesses needs a name.
Boot::~Boot() { trace_.Clear(); }

std::uint64_t Boot::CallImage(Machine &machine, const std::string &what, GuestAddr function, Signature signature,
                              std::span<const std::uint64_t> arguments) {
  const std::uint64_t result = machine.Call(function, signature, arguments);
  instructions_.emplace_back(what, machine.LastCallInstructions());
  return result;
}

std::uint64_t Boot::RunPei() {
  const GuestAddr entry = peiMachine_->LoadModule();
  trace_.Event("BoardPei dispatched");
  const std::uint64_t arguments[] = {0, pei_->EntryServicesPointer()};
  const std::uint64_t raw = CallImage(*peiMachine_, "BoardPei entry", entry, Signature::PeiEntry, arguments);
  peiStatus_ = StatusFromGuest(raw, peiMachine_->Memory().PointerSize());
  trace_.Event("BoardPei returned " + StatusName(*peiStatus_));
  return *peiStatus_;
}

std::uint64_t Boot::LoadDxe() {
  const GuestAddr entry = dxeMachine_->LoadModule();
  trace_.Event("BoardDxe loaded");
  const std::uint64_t arguments[] = {dxe_->ImageHandle(), dxe_->SystemTable()};
  dxeStatus_ = CallImage(*dxeMachine_, "BoardDxe entry", entry, Signature::DxeEntry, arguments);
  trace_.Event("BoardDxe returned " + StatusName(*dxeStatus_));
  return *dxeStatus_;
}

void Boot::InstallSetupStringService() {
  dxe_->InstallFromComponent(SetupStringProtocolGuid(), services_->SetupStringInterface());
}

void Boot::InstallSmbiosService() {
  dxe_->InstallFromComponent(SmbiosTableProtocolGuid(), services_->SmbiosInterface());
}

void Boot::InstallPortLocator() { dxe_->InstallFromComponent(PortLocatorProtocolGuid(), pcd_->Interface()); }

void Boot::SignalReadyToBoot() { dxe_->SignalGroup(ReadyToBootGroupGuid()); }

void Boot::RunDefaultSequence() {
  RunPei();
  if (board_.portLocator) InstallPortLocator();
  LoadDxe();
  if (board_.setupStringService) InstallSetupStringService();
  if (board_.smbiosService) InstallSmbiosService();
  SignalReadyToBoot();
}

std::optional<GuestAddr> Boot::CallableInterface(std::optional<GuestAddr> interface, const char *name) {
  if (interface && *interface == 0) {
    trace_.Unexpected(std::string(name) + " is installed with a NULL interface pointer; no consumer can call it");
    return std::nullopt;
  }
  return interface;
}

std::optional<HookAnswers> Boot::CallHookMembers() {
  const auto protocol = CallableInterface(dxe_->FindProtocol(BoardHookProtocolGuid()), "BOARD_HOOK_PROTOCOL");
  if (!protocol) return std::nullopt;
  GuestMemory &memory = dxeMachine_->Memory();
  HookAnswers answers;
  for (unsigned member = 0; member < answers.members.size(); ++member) {
    const GuestAddr function = memory.ReadPointer(*protocol + member * 8);
    if (function == 0 || member == 4) continue;  // member 4 is the LAN MAC query
    const bool boolean = member == 0 || member == 2 || member == 5;
    trace_.Event("consumer calls BOARD_HOOK_PROTOCOL member " + std::to_string(member));
    answers.members[member] = CallImage(*dxeMachine_, "BOARD_HOOK_PROTOCOL member " + std::to_string(member), function,
                                        boolean ? Signature::BooleanAnswer : Signature::ValueAnswer, {});
  }
  return answers;
}

std::uint64_t Boot::CallLanMacQuery(GuestAddr buffer, GuestAddr out) {
  const auto protocol = dxe_->FindProtocol(BoardHookProtocolGuid());
  if (!protocol || *protocol == 0) throw std::logic_error("BOARD_HOOK_PROTOCOL is not installed with an interface");
  const GuestAddr function = dxeMachine_->Memory().ReadPointer(*protocol + 4 * 8);
  trace_.Event("consumer calls BOARD_HOOK_PROTOCOL LanMacQuery");
  const std::uint64_t arguments[] = {buffer, out};
  return CallImage(*dxeMachine_, "BOARD_HOOK_PROTOCOL LanMacQuery", function, Signature::LanMacQuery, arguments);
}

std::optional<LanMacResult> Boot::QueryLanMacs() {
  // A NULL interface is reported once, by CallHookMembers.
  const auto protocol = dxe_->FindProtocol(BoardHookProtocolGuid());
  if (!protocol || *protocol == 0) return std::nullopt;
  GuestMemory &memory = dxeMachine_->Memory();
  const GuestAddr buffer = memory.Allocate(kBufferSize);
  const GuestAddr out = memory.Allocate(kOutSize);
  const std::vector<std::uint8_t> fillBuffer(kBufferSize, kUntouched);
  const std::vector<std::uint8_t> fillOut(kOutSize, kUntouched);
  memory.Write(buffer, fillBuffer.data(), fillBuffer.size());
  memory.Write(out, fillOut.data(), fillOut.size());
  LanMacResult result;
  result.status = CallLanMacQuery(buffer, out);
  result.buffer = memory.ReadBytes(buffer, kBufferSize);
  result.out = memory.ReadBytes(out, kOutSize);
  result.first = ReadMacList(result.buffer, kFirstListOffset);
  result.second = ReadMacList(result.out, 0);
  memory.Release(buffer);
  memory.Release(out);
  return result;
}

std::optional<PpiAnswers> Boot::CallPpiMembers() {
  const auto ppi = CallableInterface(pei_->FindPpi(BoardHookPpiGuid()), "BOARD_HOOK_PPI");
  if (!ppi) return std::nullopt;
  GuestMemory &memory = peiMachine_->Memory();
  const unsigned pointer = memory.PointerSize();
  PpiAnswers answers;
  for (unsigned member = 0; member < answers.members.size(); ++member) {
    const GuestAddr function = memory.ReadPointer(*ppi + member * pointer);
    if (function == 0) continue;
    trace_.Event("consumer calls BOARD_HOOK_PPI " +
                 (member == 3 ? std::string("BoardInfo") : "member " + std::to_string(member)));
    if (member != 3) {
      answers.members[member] = CallImage(*peiMachine_, "BOARD_HOOK_PPI member " + std::to_string(member), function,
                                          Signature::BooleanAnswer, {});
      continue;
    }
    const GuestAddr outputs = memory.Allocate(8);
    const std::uint64_t zero = 0;
    memory.Write(outputs, &zero, sizeof zero);
    // The first two arguments are not read: pass values that fault if they were.
    const std::uint64_t arguments[] = {0, 1, outputs, outputs + 4};
    const std::uint64_t raw =
        CallImage(*peiMachine_, "BOARD_HOOK_PPI BoardInfo", function, Signature::PpiBoardInfo, arguments);
    answers.boardInfoStatus = StatusFromGuest(raw, pointer);
    answers.members[member] = answers.boardInfoStatus;
    memory.Read(outputs, answers.info.data(), answers.info.size());
    answers.flag = memory.Read8(outputs + 4);
    memory.Release(outputs);
  }
  return answers;
}

std::uint64_t Boot::Dispatch(Service service, std::span<const std::uint64_t> arguments) {
  const ServiceInfo &info = InfoOf(service);
  try {
    switch (service) {
      case Service::SetupSetString:
      case Service::SmbiosDeleteStructure:
      case Service::SmbiosReadStructure:
        return services_->Call(service, arguments.first(info.arguments));
      case Service::DxePcdGet32:
        return pcd_->Get32(arguments[0]);
      case Service::PeiInstallPpi:
      case Service::PeiLocatePpi:
      case Service::PeiAllocatePool:
      case Service::PcdSetPointer:
        return pei_->Call(service, arguments.first(info.arguments));
      default:
        return dxe_->Call(service, arguments.first(info.arguments));
    }
  } catch (const GuestFault &fault) {
    trace_.Unexpected(std::string(info.name) + ": " + fault.what());
    const unsigned pointer = service >= Service::PeiInstallPpi ? peiMachine_->Memory().PointerSize() : 8;
    return StatusForGuest(EFI_INVALID_PARAMETER, pointer);
  }
}

std::uint64_t Boot::UnexpectedCall(ServiceTable table, unsigned slot) {
  trace_.Unexpected(std::string("call to ") + TableName(table) + " slot " + std::to_string(slot) +
                    ", which the board does not provide");
  const unsigned pointer =
      table == ServiceTable::PeiServices || table == ServiceTable::PcdPpi ? peiMachine_->Memory().PointerSize() : 8;
  return StatusForGuest(EFI_UNSUPPORTED, pointer);
}

std::vector<std::string> Boot::Problems() const {
  // Unexpected calls and accesses, guest faults and pool misuse are all in
  // the trace; pool still allocated is not.
  std::vector<std::string> problems;
  for (const auto &entry : trace_.Entries())
    if (entry.kind == TraceEntry::Kind::Unexpected) problems.push_back(entry.text);
  for (const auto &leak : dxe_->Leaks()) problems.push_back("leak: " + leak);
  return problems;
}

}  // namespace boardsim
