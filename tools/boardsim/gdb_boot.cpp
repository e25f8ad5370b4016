#include "gdb_boot.h"

#include <iostream>
#include <sstream>

#include "sim/boot/boot_record.h"
#include "sim/boot/boot_report.h"
#include "sim/debug/gdb_server.h"
#include "sim/engine/emulated/emulated_engine.h"

namespace boardsim {
namespace {

// The report's first lines: the board, its PCH and its riser.
std::string BoardSummary(Boot &boot, const Engine &engine) {
  BootRecord record;
  RecordState(boot, engine, record);
  const std::string text = ReportText(DescribeBoot(record), false);
  return text.substr(0, text.find("\n\n") + 1);
}

std::string TraceSoFar(Boot &boot) {
  std::ostringstream out;
  out << "Trace:\n";
  for (const auto &line : boot.GetTrace().PrintedLines()) out << "  " << line << "\n";
  return out.str();
}

}  // namespace

int RunUnderGdb(const Options &options, const BoardConfig &board) {
  const Phase phase = *options.gdb == "dxe" ? Phase::Dxe : Phase::Pei;
  const std::filesystem::path images =
      options.images.empty() ? DefaultFirmwareDirectory() : std::filesystem::path(options.images);
  gdb::GdbServer server(phase, options.gdbPort, images / (phase == Phase::Dxe ? "BoardDxe.debug" : "BoardPei.debug"));
  const auto engine = MakeDebuggedEngine(images, phase, server);
  std::cout << server.Greeting() << std::endl;
  server.WaitForClient();
  for (;;) {
    server.BeginBoot();
    try {
      const BootRecord record = RunBoot(board, *engine, [&](Boot &boot) {
        server.SetMonitor([&boot, &engine](std::string_view command) -> std::optional<std::string> {
          if (command == "trace") return TraceSoFar(boot);
          if (command == "board") return BoardSummary(boot, *engine);
          return std::nullopt;
        });
      });
      server.SetMonitor({});
      server.EndBoot(record.stopped);
      const BootReport report = DescribeBoot(record);
      std::cout << (options.json ? ReportJson(report, options.trace) : ReportText(report, options.trace));
      return BootFailed(report) ? 1 : 0;
    } catch (const emulated::BootAbandoned &) {
      server.SetMonitor({});
      if (server.Killed()) {
        std::cerr << "boardsim: gdb killed the boot\n";
        return 1;
      }
      if (!server.ReplayPending()) throw;
    }
  }
}

}  // namespace boardsim
