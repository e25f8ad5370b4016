#include "sim/core/dxe_pcd.h"

#include <string>

#include "sim/base/board_text.h"
#include "sim/core/service_table.h"

namespace boardsim {

DxePcd::DxePcd(const BoardConfig &board, Machine &machine, Trace &trace, FailurePlan &failures)
    : board_(board), machine_(machine), trace_(trace), failures_(failures) {}

GuestAddr DxePcd::Interface() {
  static constexpr std::pair<unsigned, Service> kFilled[] = {{kDxePcdGet32Slot, Service::DxePcdGet32}};
  if (!interface_) interface_ = BuildServiceTable(machine_, ServiceTable::DxePcd, kDxePcdMemberCount, kFilled);
  return *interface_;
}

std::uint32_t DxePcd::Get32(std::uint64_t token) {
  const char *name = InfoOf(Service::DxePcdGet32).name;
  const std::string text = std::string(name) + "(token " + Hex(token) + ")";
  const std::size_t call = trace_.Call(text);
  // Get32 answers a value, not a status: an injection is the value it answers.
  const InjectedCall injection(failures_, name, text);
  std::uint32_t value = kUnknownPcdTokenAnswer;
  std::string note;
  const auto found =
      token <= 0xFFFFFFFF ? board_.pcdTokens.find(static_cast<std::uint32_t>(token)) : board_.pcdTokens.end();
  if (injection.Value()) {
    value = static_cast<std::uint32_t>(*injection.Value());
    note = " (injected)";
  } else if (found == board_.pcdTokens.end()) {
    note = " (no such token)";
  } else {
    value = static_cast<std::uint32_t>(found->second.value);
    if (found->second.size != 4) note = " (a token of " + std::to_string(found->second.size) + " bytes)";
  }
  trace_.Complete(call, Hex(value, 8) + note);
  return value;
}

}  // namespace boardsim
