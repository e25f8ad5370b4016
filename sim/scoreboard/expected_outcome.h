// The board's expected outcome, from its description alone: a second,
// small model of what BoardPei and BoardDxe do on this board, with every
// injected failure replayed at the call it hits. It never runs module code.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/board/board_config.h"
#include "sim/scoreboard/outcome.h"

namespace boardsim {

struct ExpectedBoot {
  Outcome outcome;
  // The riser code the firmware reads, and what it reads from each pad:
  // "pad 0 reads 0, pad 1 owned by agent 1: repeats the previous level (0), ...".
  std::uint8_t riserCode = 0;
  std::string riserPads;
  // Each injected failure that hits a call, where it took effect:
  // "SMBIOS.ReadStructure for instance 3 failed with EFI_DEVICE_ERROR
  // (injected): instance 3 kept".
  std::vector<std::string> injected;
  // Outcomes the description cannot tell, by their name in the report
  // ("LAN MAC first list"): a MAC copied from an address no controller
  // decodes reads whatever memory holds there.
  std::vector<std::string> unknown;
};

// What happens after BoardPei, in order: the DXE core loading BoardDxe,
// other components installing their services, the platform signalling
// ReadyToBoot, and consumers calling the board's interfaces.
enum class BootStep : std::uint8_t {
  LoadDxe,
  InstallPortLocator,
  InstallSetupStringService,
  InstallSmbiosService,
  SignalReadyToBoot,
  CallHookMembers,
  QueryLanMacs,          // fresh caller buffers of the documented sizes
  QueryLanMacsNullList,  // Buffer or Out NULL: the driver refuses before touching anything
  CallPpiMembers,
};

// How the SMBIOS service answers a read of a record it holds: the record,
// no buffer, only the record's first `keep` bytes, or the fixed `bytes`.
struct SmbiosCopy {
  enum class Kind : std::uint8_t { Record, NoBuffer, Truncated, Fixed };
  Kind kind = Kind::Record;
  std::size_t keep = 0;
  std::vector<std::uint8_t> bytes;
};

// The simulator's default boot and consumer calls: the port locator (if
// the board has one), BoardDxe, the Setup string and SMBIOS services (if
// the board has them), ReadyToBoot, then BOARD_HOOK_PPI, BOARD_HOOK_PROTOCOL
// and one LAN MAC query.
std::vector<BootStep> DefaultBootSteps(const BoardConfig &board);

ExpectedBoot ExpectedOutcome(const BoardConfig &board);
// The outcome after BoardPei and the given steps. BoardDxe is loaded at most
// once (later LoadDxe steps do nothing) and each service is installed at most
// once; the LAN MAC outcome is that of the last query.
ExpectedBoot ExpectedOutcome(const BoardConfig &board, std::span<const BootStep> steps, const SmbiosCopy &copy = {});

// The outcomes that differ from the expected ones, leaving out those the
// description cannot tell.
std::vector<Problem> JudgedProblems(const ExpectedBoot &expected, const Outcome &seen);

}  // namespace boardsim
