#include "tools/bench/bench_figures.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/boot/boot.h"
#include "sim/engine/engines.h"
#include "sim/image/image_headers.h"
#include "sim/image/size_report.h"
#include "tools/files/input_file.h"

namespace boardbench {
namespace {

using namespace boardsim;

// The fewest register accesses each operation needs to behave as the board
// requires: the riser code read by both the Setup string and the SMBIOS
// handler, the LAN MAC query over the shipped board's four controllers, and
// BoardPei's entry.
constexpr unsigned kRiserReadMinimum = 17;
constexpr unsigned kMacQueryMinimum = 28;
constexpr unsigned kBoardPeiMinimum = 2;

struct Accesses {
  unsigned byModule = 0;
  unsigned byServices = 0;  // the DXE core's CopyMem reading MAC registers for the module
};

bool IsRegisterAccess(const TraceEntry &entry) {
  return entry.kind == TraceEntry::Kind::Read || entry.kind == TraceEntry::Kind::Write;
}

// The register accesses recorded since the mark. A "BS.CopyMem(N bytes ..."
// call is followed by the core's own reads of those N bytes.
Accesses RegisterAccessesSince(const Trace &trace, std::size_t mark) {
  Accesses accesses;
  std::uint64_t copyBytesLeft = 0;
  const auto &entries = trace.Entries();
  for (std::size_t i = mark; i < entries.size(); ++i) {
    const TraceEntry &entry = entries[i];
    if (entry.kind == TraceEntry::Kind::Call && entry.text.rfind("BS.CopyMem(", 0) == 0) {
      copyBytesLeft = std::stoull(entry.text.substr(std::string_view("BS.CopyMem(").size()));
    } else if (IsRegisterAccess(entry) && copyBytesLeft > 0) {
      ++accesses.byServices;
      copyBytesLeft -= std::min<std::uint64_t>(copyBytesLeft, entry.width / 8);
    } else if (IsRegisterAccess(entry)) {
      ++accesses.byModule;
    } else {
      copyBytesLeft = 0;
    }
  }
  return accesses;
}

nlohmann::ordered_json AccessFigures(const Accesses &accesses, unsigned minimum) {
  return {{"count", accesses.byModule + accesses.byServices},
          {"minimum", minimum},
          {"by_module", accesses.byModule},
          {"by_core_copymem", accesses.byServices}};
}

}  // namespace

nlohmann::ordered_json ImageFigures(const std::filesystem::path &imageDirectory) {
  nlohmann::ordered_json images;
  for (const char *name : {"BoardDxe.efi", "BoardPei.te"}) {
    const auto file = boardfiles::ReadInputFile((imageDirectory / name).string());
    const auto headers = boardimage::ParseImage(file);
    nlohmann::ordered_json image;
    image["bytes"] = file.size();
    if (const auto budget = boardimage::BudgetOf(name)) image["budget"] = *budget;
    for (const auto &section : headers.sections) image["sections"][section.name] = section.rawSize;
    images[name] = image;
  }
  return images;
}

nlohmann::ordered_json BootFigures(const std::filesystem::path &imageDirectory) {
  const auto engine = MakeEngine("emulated", imageDirectory);
  Boot boot(ShippedBoard(), *engine);
  Trace &trace = boot.GetTrace();
  std::size_t mark = trace.Mark();
  boot.RunPei();
  const Accesses pei = RegisterAccessesSince(trace, mark);
  boot.InstallPortLocator();
  boot.LoadDxe();
  mark = trace.Mark();
  boot.InstallSetupStringService();
  boot.InstallSmbiosService();
  const Accesses riser = RegisterAccessesSince(trace, mark);
  boot.SignalReadyToBoot();
  boot.CallPpiMembers();
  boot.CallHookMembers();
  mark = trace.Mark();
  const auto lan = boot.QueryLanMacs();
  const Accesses macQuery = RegisterAccessesSince(trace, mark);
  if (!boot.Problems().empty() || !lan)
    throw std::runtime_error("the shipped board did not boot cleanly on the emulated engine: " +
                             (boot.Problems().empty() ? std::string("no LAN MAC query") : boot.Problems().front()));

  nlohmann::ordered_json figures;
  for (const auto &[call, instructions] : boot.Instructions()) figures["instructions"][call] = instructions;
  figures["register_accesses"]["BoardPei entry"] = AccessFigures(pei, kBoardPeiMinimum);
  figures["register_accesses"]["riser read, both handlers"] = AccessFigures(riser, kRiserReadMinimum);
  figures["register_accesses"]["LAN MAC query, four controllers"] = AccessFigures(macQuery, kMacQueryMinimum);
  return figures;
}

nlohmann::ordered_json SpeedFigures(const std::filesystem::path &imageDirectory, int boots) {
  nlohmann::ordered_json speed;
  for (const auto &name : AvailableEngines()) {
    const auto engine = MakeEngine(name, name == "emulated" ? imageDirectory : std::filesystem::path{});
    std::vector<double> seconds;
    for (int i = 0; i <= boots; ++i) {  // the first is a warm-up
      const auto start = std::chrono::steady_clock::now();
      Boot boot(ShippedBoard(), *engine);
      boot.RunDefaultSequence();
      boot.CallPpiMembers();
      boot.CallHookMembers();
      boot.QueryLanMacs();
      if (i > 0) seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    speed[name] = static_cast<long>(1.0 / seconds[seconds.size() / 2]);
  }
  return speed;
}

}  // namespace boardbench
