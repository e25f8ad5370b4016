#include "sim/boot/boot_report.h"

#include <nlohmann/json.hpp>
#include <sstream>

#include "sim/base/board_text.h"
#include "sim/base/status_names.h"
#include "sim/board/pch_gpio_layout.h"

namespace boardsim {
namespace {

// The riser cards this board takes, by the code their pads give.
std::string RiserCardOf(std::uint8_t code) {
  switch (code) {
    case 0x0E:
      return "x16 riser VKT-PM2W-Q37";
    case 0x0C:
      return "x8 riser VKT-PM2W-Q5";
    default:
      return "no riser recognised";
  }
}

// The code as the firmware reads it: a pad it cannot read (another agent
// owns it, or the fitted PCH has no such pad) leaves the level of the pad
// read before it, or 0 for the first.
std::uint8_t RiserPads(const std::array<RiserPadReading, kRiserPads> &pads) {
  std::uint8_t code = 0;
  unsigned level = 0;
  for (unsigned i = 0; i < kRiserPads; ++i) {
    const auto &[owner, read] = pads[i];
    if (owner && read && *owner == 0) level = *read;
    code = static_cast<std::uint8_t>(code | (level << i));
  }
  return code;
}

// "pad 0 reads 0, pad 1 reads 1, pad 2 owned by agent 1: repeats the
// previous level (1), pad 3 reads 1".
std::string RiserPadsText(const std::array<RiserPadReading, kRiserPads> &pads) {
  std::string text;
  unsigned level = 0;
  for (unsigned i = 0; i < kRiserPads; ++i) {
    const auto &[owner, read] = pads[i];
    text += (i == 0 ? "pad " : ", pad ") + std::to_string(i);
    if (owner && read && *owner == 0) {
      level = *read;
      text += " reads " + std::to_string(level);
      continue;
    }
    text += !owner || !read ? " not on this PCH" : " owned by agent " + std::to_string(*owner);
    text += i == 0 ? ": gives 0" : ": repeats the previous level (" + std::to_string(level) + ")";
  }
  return text;
}

std::string PchSeriesText(std::uint16_t deviceId) {
  if ((deviceId & 0xFFE0) == 0xA300) return "H";
  if ((deviceId & 0xFFE0) == 0x9D80) return "LP";
  return "not recognised";
}

std::string MacText(const std::array<std::uint8_t, 6> &mac) {
  std::string text = FormatMac(mac);
  for (auto &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string AnswerText(std::optional<std::uint64_t> answer, bool boolean) {
  if (!answer) return "empty";
  if (boolean) return (*answer & 0xFF) != 0 ? "TRUE" : "FALSE";
  return Hex(*answer);
}

bool IsBooleanHookMember(unsigned member) { return member == 0 || member == 2 || member == 5; }

// Where in the report an injected failure took effect, by the service it hit.
enum class Section { Pei, DxeEntry, SetupTexts, Slots, Lan };

Section SectionOf(const std::string &effect) {
  const auto starts = [&](const char *prefix) { return effect.starts_with(prefix); };
  if (starts("PCD.Get32") || starts("BS.CopyMem") ||
      effect.find("PORT_LOCATOR_PROTOCOL not found") != std::string::npos)
    return Section::Lan;
  if (starts("PEI.") || starts("PCD.")) return Section::Pei;
  if (starts("SETUP.")) return Section::SetupTexts;
  if (starts("SMBIOS.") || effect.find("SMBIOS_TABLE_PROTOCOL not found") != std::string::npos) return Section::Slots;
  if (effect.find("SETUP_STRING_PROTOCOL not found") != std::string::npos) return Section::SetupTexts;
  return Section::DxeEntry;
}

void InjectedLines(std::ostream &out, const std::vector<std::string> &injected, Section section) {
  for (const auto &effect : injected)
    if (SectionOf(effect) == section) out << "  Injected: " << Printable(effect) << "\n";
}

}  // namespace

std::string Utf16Text(const std::vector<std::uint8_t> &bytes) {
  std::string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned unit = bytes[i] | (bytes[i + 1] << 8);
    if (unit == 0) break;
    if (unit >= 0x20 && unit < 0x7F)
      text.push_back(static_cast<char>(unit));
    else
      text += "\\u" + Hex(unit, 4).substr(2);
  }
  return text;
}

BootReport DescribeBoot(const BootRecord &record) {
  BootReport report{record, {}, {}, {}, {}};
  report.pchSeries = PchSeriesText(record.pchDeviceId);
  report.riserPads = RiserPads(record.riserPadReadings);
  report.riserCard = RiserCardOf(report.riserPads);
  report.riserPadStates = RiserPadsText(record.riserPadReadings);
  return report;
}

bool BootFailed(const BootRecord &record) {
  return record.stopped || !record.problems.empty() || !record.scoreboard.empty();
}

// Every text the report takes from a board file or from guest memory goes
// through Printable: a newline in a board's name must not forge a report
// line, nor an escape character reach the terminal.
std::string ReportText(const BootReport &r, bool withTrace) {
  std::ostringstream out;
  out << "Board " << Printable(r.board) << (r.description.empty() ? "" : ": " + Printable(r.description))
      << " (engine: " << r.engine << ")\n";
  out << "  PCH: " << r.pchSeries << " series, device id " << Hex(r.pchDeviceId, 4) << "\n";
  out << "  Riser: GPP_K " << r.riserPadStates << "\n    code " << Hex(r.riserPads, 2) << ": " << r.riserCard;
  const std::string noStatus = r.stopped ? "nothing (the boot stopped first)" : "nothing (not run)";
  out << "\n\nPEI phase: BoardPei returned " << (r.peiStatus ? StatusName(*r.peiStatus) : noStatus) << "\n";
  out << "  PPI installed: " << (r.ppisInstalled.empty() ? "none" : "");
  for (std::size_t i = 0; i < r.ppisInstalled.size(); ++i) out << (i ? ", " : "") << r.ppisInstalled[i];
  out << "\n  PCD token 5: ";
  if (r.pcdBoardName)
    out << "\"" << Utf16Text(*r.pcdBoardName) << "\" (" << r.pcdBoardName->size() << " bytes, UTF-16LE)\n";
  else
    out << "not written\n";
  out << "  Lane registers written: " << r.laneWrites.size() << "\n";
  for (const auto &write : r.laneWrites)
    out << "    port " << Hex(write.port, 2) << " offset " << Hex(write.offset, 4) << " = " << Hex(write.value, 8)
        << "\n";
  if (r.ppi) {
    out << "  BOARD_HOOK_PPI answers:";
    for (unsigned m = 0; m < r.ppi->members.size(); ++m)
      if (m != 3 && r.ppi->members[m]) out << " member " << m << " = " << AnswerText(r.ppi->members[m], true) << ",";
    out << " BoardInfo = " << StatusName(r.ppi->boardInfoStatus) << ", info " << Hex(r.ppi->info[0], 2) << " "
        << Hex(r.ppi->info[1], 2) << " " << Hex(r.ppi->info[2], 2) << " " << Hex(r.ppi->info[3], 2) << ", flag "
        << Hex(r.ppi->flag, 2) << "\n";
  }

  InjectedLines(out, r.injected, Section::Pei);

  out << "\nDXE phase: BoardDxe entry returned " << (r.dxeStatus ? StatusName(*r.dxeStatus) : noStatus) << "\n";
  InjectedLines(out, r.injected, Section::DxeEntry);
  out << "  Setup texts set:" << (r.setupTexts.empty() ? " none (Setup keeps its own texts)" : "") << "\n";
  for (const auto &text : r.setupTexts)
    out << "    \"" << Printable(text.name) << "\" token " << Hex(text.token, 4) << ": \"" << Printable(text.text)
        << "\"\n";
  const auto slots = [&](const char *what, const std::vector<SmbiosSlotRecord> &records) {
    out << "  SMBIOS slot records " << what << ":" << (records.empty() ? " none" : "") << "\n";
    for (const auto &slot : records)
      out << "    instance " << unsigned(slot.instance) << " (handle " << Hex(slot.handle, 4) << ", "
          << Printable(slot.designation) << ")\n";
  };
  InjectedLines(out, r.injected, Section::SetupTexts);
  slots("deleted", r.slotsDeleted);
  slots("kept", r.slotsKept);
  InjectedLines(out, r.injected, Section::Slots);
  if (r.hook) {
    out << "  BOARD_HOOK_PROTOCOL answers:";
    for (unsigned m = 0; m < r.hook->members.size(); ++m)
      if (m != 4)
        out << (m == 0 ? " " : ", ") << "member " << m << " = "
            << AnswerText(r.hook->members[m], IsBooleanHookMember(m));
    out << "\n";
  } else {
    out << "  BOARD_HOOK_PROTOCOL: not installed\n";
  }
  if (r.lan) {
    out << "  LAN MAC query: " << StatusName(r.lan->status) << "\n";
    const auto list = [&](const char *name, const MacList &macs) {
      out << "    " << name << ": " << unsigned(macs.count) << " address" << (macs.count == 1 ? "" : "es");
      for (const auto &mac : macs.addresses) out << " " << MacText(mac);
      out << "\n";
    };
    list("first list (PCD token 0x8)", r.lan->first);
    list("second list (PCD tokens 0x18C, 0x18D, 0x18E)", r.lan->second);
  }
  InjectedLines(out, r.injected, Section::Lan);

  bool counted = false;
  for (const auto &[what, count] : r.instructions) counted = counted || count != 0;
  if (counted) {
    out << "\nInstructions executed:\n";
    for (const auto &[what, count] : r.instructions) out << "  " << what << ": " << count << "\n";
  }
  if (r.stopped) out << "\nBoot stopped: " << Printable(*r.stopped) << "\n";
  out << "\nProblems:" << (r.problems.empty() && r.scoreboard.empty() ? " none" : "") << "\n";
  for (const auto &problem : r.scoreboard) out << "  Problem: " << Printable(ProblemText(problem)) << "\n";
  for (const auto &problem : r.problems) out << "  " << Printable(problem) << "\n";
  if (withTrace) {
    out << "\nTrace:\n";
    for (const auto &line : r.trace) out << "  " << Printable(line) << "\n";
  }
  return out.str();
}

std::string ReportJson(const BootReport &r, bool withTrace) {
  using nlohmann::json;
  const auto status = [](std::optional<std::uint64_t> s) { return s ? json(StatusName(*s)) : json(nullptr); };
  json report;
  report["board"] = {{"name", r.board}, {"description", r.description}, {"engine", r.engine}};
  report["pch"] = {{"device_id", Hex(r.pchDeviceId, 4)}, {"series", r.pchSeries}};
  report["riser"] = {{"code", Hex(r.riserPads, 2)}, {"pads", r.riserPadStates}, {"card", r.riserCard}};

  json pei;
  pei["status"] = status(r.peiStatus);
  pei["ppis_installed"] = r.ppisInstalled;
  pei["pcd_token_5"] =
      r.pcdBoardName ? json{{"text", Utf16Text(*r.pcdBoardName)}, {"bytes", r.pcdBoardName->size()}} : json(nullptr);
  pei["lane_writes"] = json::array();
  for (const auto &write : r.laneWrites)
    pei["lane_writes"].push_back(
        {{"port", Hex(write.port, 2)}, {"offset", Hex(write.offset, 4)}, {"value", Hex(write.value, 8)}});
  if (r.ppi) {
    json members = json::object();
    for (unsigned m = 0; m < r.ppi->members.size(); ++m)
      if (m != 3)
        members[std::to_string(m)] = r.ppi->members[m] ? json(AnswerText(r.ppi->members[m], true)) : json(nullptr);
    pei["ppi_answers"] = {{"members", members},
                          {"board_info",
                           {{"status", StatusName(r.ppi->boardInfoStatus)},
                            {"info", {r.ppi->info[0], r.ppi->info[1], r.ppi->info[2], r.ppi->info[3]}},
                            {"flag", r.ppi->flag}}}};
  }
  report["pei"] = pei;

  json dxe;
  dxe["status"] = status(r.dxeStatus);
  dxe["setup_texts"] = json::array();
  for (const auto &text : r.setupTexts)
    dxe["setup_texts"].push_back({{"name", text.name}, {"token", Hex(text.token, 4)}, {"text", text.text}});
  const auto slots = [](const std::vector<SmbiosSlotRecord> &records) {
    json list = json::array();
    for (const auto &slot : records)
      list.push_back({{"instance", slot.instance}, {"handle", Hex(slot.handle, 4)}, {"designation", slot.designation}});
    return list;
  };
  dxe["smbios_slots_deleted"] = slots(r.slotsDeleted);
  dxe["smbios_slots_kept"] = slots(r.slotsKept);
  if (r.hook) {
    json members = json::object();
    for (unsigned m = 0; m < r.hook->members.size(); ++m)
      if (m != 4)
        members[std::to_string(m)] =
            r.hook->members[m] ? json(AnswerText(r.hook->members[m], IsBooleanHookMember(m))) : json(nullptr);
    dxe["hook_answers"] = members;
  }
  if (r.lan) {
    const auto list = [](const MacList &macs) {
      json addresses = json::array();
      for (const auto &mac : macs.addresses) addresses.push_back(MacText(mac));
      return json{{"count", macs.count}, {"addresses", addresses}};
    };
    dxe["lan_mac_query"] = {
        {"status", StatusName(r.lan->status)}, {"first", list(r.lan->first)}, {"second", list(r.lan->second)}};
  }
  report["dxe"] = dxe;
  report["instructions"] = json::array();
  for (const auto &[what, count] : r.instructions) report["instructions"].push_back({{"call", what}, {"count", count}});
  report["stopped"] = r.stopped ? json(*r.stopped) : json(nullptr);
  report["problems"] = r.problems;
  report["scoreboard"] = json::array();
  for (const auto &problem : r.scoreboard)
    report["scoreboard"].push_back(
        {{"outcome", problem.outcome}, {"expected", problem.expected}, {"seen", problem.seen}});
  report["injected"] = r.injected;
  if (withTrace) {
    report["trace"] = r.trace;
    // The same entries taken apart: each line without its column, and for a
    // register access what the register is.
    report["trace_entries"] = json::array();
    for (const TraceEntry &entry : r.traceEntries) {
      json item = {{"line", entry.ToString()}};
      if (!entry.what.empty()) item["register"] = entry.what;
      report["trace_entries"].push_back(item);
    }
  }
  return report.dump(2) + "\n";
}

}  // namespace boardsim
