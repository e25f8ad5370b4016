// What one default boot of the board recorded: the state of the riser pads,
// what each phase installed, wrote and answered, and the trace. The runner
// fills it; the report only reads it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/boot/boot.h"
#include "sim/scoreboard/outcome.h"

namespace boardsim {

// GPP_K pads 0..3 of the H series: the riser card's code.
inline constexpr std::uint32_t kRiserPad0 = 0x030A0000;
inline constexpr unsigned kRiserPads = 4;

struct RiserPadReading {
  std::optional<unsigned> owner;  // empty: the fitted PCH has no such pad
  std::optional<unsigned> level;
};

struct BootRecord {
  std::string board;
  std::string description;
  std::string engine;
  std::uint16_t pchDeviceId = 0;
  std::array<RiserPadReading, kRiserPads> riserPadReadings;

  // PEI phase
  std::optional<std::uint64_t> peiStatus;
  std::vector<std::string> ppisInstalled;
  std::optional<std::vector<std::uint8_t>> pcdBoardName;  // token 5, raw bytes
  std::vector<HardwareModel::LaneWrite> laneWrites;
  std::optional<PpiAnswers> ppi;

  // DXE phase
  std::optional<std::uint64_t> dxeStatus;
  std::vector<SetupStringWrite> setupTexts;
  std::vector<SmbiosSlotRecord> slotsDeleted;
  std::vector<SmbiosSlotRecord> slotsKept;
  std::optional<HookAnswers> hook;
  std::optional<LanMacResult> lan;
  std::vector<CommandOutcome> commands;  // each Ethernet controller's, after the query

  // The board's expected outcome beside this one: where they differ, and
  // where each injected failure took effect.
  std::vector<Problem> scoreboard;
  std::vector<std::string> injected;

  // Why the boot ended early (a fault of an image or of the emulator), if it
  // did; everything above holds what happened up to then.
  std::optional<std::string> stopped;
  std::vector<std::string> problems;
  std::vector<std::pair<std::string, std::uint64_t>> instructions;
  std::vector<std::string> trace;  // as printed: register accesses with what they are
  std::vector<TraceEntry> traceEntries;
};

// Runs the default boot sequence and the consumer calls, and records them.
// A fault that ends the boot is recorded, not thrown.
// started: called with the boot before it runs (a debugger's view of it).
BootRecord RunBoot(const BoardConfig &board, Engine &engine, const std::function<void(Boot &)> &started = {});
// Fills the record with what the boot shows now, whether it has ended or
// not (everything but what the consumer calls answered and why it stopped).
void RecordState(Boot &boot, const Engine &engine, BootRecord &record);
// The same, without the engine's name.
void RecordOutcome(Boot &boot, BootRecord &record);
// Only what the boot left on the board and in its services (no trace,
// problems or instruction counts): what the scoreboard compares.
void RecordResults(Boot &boot, BootRecord &record);
// Judges a whole boot's record (default sequence and consumer calls run)
// against the board's expected outcome: fills scoreboard and injected.
void Judge(const BoardConfig &board, BootRecord &record);

}  // namespace boardsim
