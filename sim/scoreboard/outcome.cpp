#include "sim/scoreboard/outcome.h"

#include <functional>
#include <utility>

#include "sim/base/board_text.h"
#include "sim/base/services.h"
#include "sim/base/status_names.h"

namespace boardsim {
namespace {

std::string Joined(const std::vector<std::string> &parts) {
  if (parts.empty()) return "none";
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? ", " : "") + parts[i];
  return text;
}

std::string StatusText(const std::optional<std::uint64_t> &status) { return status ? StatusName(*status) : "not run"; }

std::string NameText(const std::optional<std::vector<std::uint8_t>> &bytes) {
  if (!bytes) return "not written";
  std::string text = "\"";
  for (std::size_t i = 0; i + 1 < bytes->size(); i += 2) {
    const unsigned unit = (*bytes)[i] | ((*bytes)[i + 1] << 8);
    if (unit == 0) break;
    text += unit >= 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit)) : "\\u" + Hex(unit, 4).substr(2);
  }
  return text + "\" (" + std::to_string(bytes->size()) + " bytes)";
}

std::string LanesText(const std::vector<LaneWriteOutcome> &writes) {
  std::vector<std::string> parts;
  for (const auto &write : writes)
    parts.push_back("port " + Hex(write.port, 2) + " offset " + Hex(write.offset, 4) + " = " + Hex(write.value, 8));
  return Joined(parts);
}

std::string AnswerText(const std::optional<std::uint64_t> &answer, bool boolean) {
  if (!answer) return "empty";
  if (boolean) return (*answer & 0xFF) != 0 ? "TRUE" : "FALSE";
  return Hex(*answer);
}

std::string PpiText(const std::optional<PpiOutcome> &ppi) {
  if (!ppi) return "not installed";
  std::vector<std::string> parts;
  for (unsigned m = 0; m < ppi->members.size(); ++m)
    if (m != 3) parts.push_back("member " + std::to_string(m) + " = " + AnswerText(ppi->members[m], true));
  if (!ppi->members[3]) {
    parts.push_back("BoardInfo empty");
  } else {
    parts.push_back("BoardInfo = " + StatusName(ppi->boardInfoStatus) + ", info " + Hex(ppi->info[0], 2) + " " +
                    Hex(ppi->info[1], 2) + " " + Hex(ppi->info[2], 2) + " " + Hex(ppi->info[3], 2) + ", flag " +
                    Hex(ppi->flag, 2));
  }
  return Joined(parts);
}

std::string TextsText(const std::vector<SetupTextOutcome> &texts) {
  std::vector<std::string> parts;
  for (const auto &text : texts)
    parts.push_back("\"" + Printable(text.name) + "\" " + Hex(text.token, 4) + " \"" + Printable(text.text) + "\"");
  return Joined(parts);
}

std::string SlotsText(const std::vector<SmbiosSlotRecord> &slots) {
  std::vector<std::string> parts;
  for (const auto &slot : slots)
    parts.push_back("instance " + std::to_string(slot.instance) + " (handle " + Hex(slot.handle, 4) + ")");
  return Joined(parts);
}

std::string HookText(const std::optional<HookOutcome> &hook) {
  if (!hook) return "not installed";
  std::vector<std::string> parts;
  for (unsigned m = 0; m < hook->members.size(); ++m)
    if (m != 4)
      parts.push_back("member " + std::to_string(m) + " = " + AnswerText(hook->members[m], m == 0 || m == 2 || m == 5));
  return Joined(parts);
}

std::string MacsText(const std::optional<LanOutcome> &lan, bool first) {
  if (!lan) return "not queried";
  const MacListOutcome &list = first ? lan->first : lan->second;
  std::vector<std::string> parts;
  for (const auto &mac : list.addresses) parts.push_back(FormatMac(mac));
  return std::to_string(list.count) + (list.count == 1 ? " address" : " addresses") +
         (parts.empty() ? "" : " " + Joined(parts));
}

std::string CommandsText(const std::vector<CommandOutcome> &commands) {
  std::vector<std::string> parts;
  for (const auto &command : commands)
    parts.push_back("bus " + Hex(command.bus, 2) + " " + Hex(command.value, 2) + " after " +
                    std::to_string(command.writes) + (command.writes == 1 ? " write" : " writes"));
  return Joined(parts);
}

// The outcomes in report order, each as text.
std::vector<std::pair<const char *, std::string>> Texts(const Outcome &o) {
  return {
      {"BoardPei entry status", StatusText(o.peiStatus ? std::optional(IaStatus(*o.peiStatus)) : std::nullopt)},
      {"PPIs installed", Joined(o.ppisInstalled)},
      {"PCD token 5", NameText(o.pcdBoardName)},
      {"lane register writes", LanesText(o.laneWrites)},
      {"BOARD_HOOK_PPI answers", PpiText(o.ppi)},
      {"BoardDxe entry status", StatusText(o.dxeStatus)},
      {"Setup texts", TextsText(o.setupTexts)},
      {"SMBIOS slot records deleted", SlotsText(o.slotsDeleted)},
      {"SMBIOS slot records kept", SlotsText(o.slotsKept)},
      {"BOARD_HOOK_PROTOCOL answers", HookText(o.hook)},
      {"LAN MAC query status", o.lan ? StatusName(o.lan->status) : "not queried"},
      {"LAN MAC first list", MacsText(o.lan, true)},
      {"LAN MAC second list", MacsText(o.lan, false)},
      {"Ethernet Command registers", CommandsText(o.commands)},
  };
}

}  // namespace

std::uint64_t IaStatus(std::uint64_t status) { return StatusFromGuest(StatusForGuest(status, 4), 4); }

std::vector<Problem> Compare(const Outcome &expected, const Outcome &seen) {
  // Equal values give equal texts: only outcomes that differ are written out.
  if (expected == seen) return {};
  const auto want = Texts(expected);
  const auto got = Texts(seen);
  std::vector<Problem> problems;
  for (std::size_t i = 0; i < want.size(); ++i)
    if (want[i].second != got[i].second) problems.push_back({want[i].first, want[i].second, got[i].second});
  return problems;
}

std::string ProblemText(const Problem &problem) {
  return problem.outcome + ": expected " + problem.expected + ", seen " + problem.seen;
}

}  // namespace boardsim
