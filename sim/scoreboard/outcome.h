// What a boot of the board leaves behind that its consumers can see: the
// PEI and DXE results, the Setup texts, the slot records, the MAC lists and
// the Command registers, the hook answers. The scoreboard computes the
// expected one from the board description; the boot fills the one it saw.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/board/board_config.h"

namespace boardsim {

struct LaneWriteOutcome {
  std::uint8_t port = 0;
  std::uint16_t offset = 0;
  std::uint32_t value = 0;

  friend bool operator==(const LaneWriteOutcome &, const LaneWriteOutcome &) = default;
};

struct SetupTextOutcome {
  std::string name;
  std::uint64_t token = 0;
  std::string text;

  friend bool operator==(const SetupTextOutcome &, const SetupTextOutcome &) = default;
};

struct MacListOutcome {
  std::uint8_t count = 0;
  std::vector<std::array<std::uint8_t, 6>> addresses;

  friend bool operator==(const MacListOutcome &, const MacListOutcome &) = default;
};

// An Ethernet controller's Command register after the LAN MAC query, and how
// many writes reached it (the query sets it, then restores it).
struct CommandOutcome {
  std::uint8_t bus = 0;
  std::uint8_t value = 0;
  unsigned writes = 0;

  friend bool operator==(const CommandOutcome &, const CommandOutcome &) = default;
};

struct LanOutcome {
  std::uint64_t status = 0;
  MacListOutcome first;
  MacListOutcome second;

  friend bool operator==(const LanOutcome &, const LanOutcome &) = default;
};

// BOARD_HOOK_PPI: members 0..9 (3 is BoardInfo, whose status it holds).
struct PpiOutcome {
  std::array<std::optional<std::uint64_t>, 10> members;
  std::uint64_t boardInfoStatus = 0;
  std::array<std::uint8_t, 4> info{};
  std::uint8_t flag = 0;

  friend bool operator==(const PpiOutcome &, const PpiOutcome &) = default;
};

// BOARD_HOOK_PROTOCOL: members 0..7; member 4 (the LAN MAC query) is not
// called as a constant.
struct HookOutcome {
  std::array<std::optional<std::uint64_t>, 8> members;

  friend bool operator==(const HookOutcome &, const HookOutcome &) = default;
};

struct Outcome {
  // PEI phase
  std::optional<std::uint64_t> peiStatus;
  std::vector<std::string> ppisInstalled;
  std::optional<std::vector<std::uint8_t>> pcdBoardName;  // token 5
  std::vector<LaneWriteOutcome> laneWrites;
  std::optional<PpiOutcome> ppi;

  // DXE phase
  std::optional<std::uint64_t> dxeStatus;
  std::vector<SetupTextOutcome> setupTexts;
  std::vector<SmbiosSlotRecord> slotsDeleted;  // in the order deleted
  std::vector<SmbiosSlotRecord> slotsKept;
  std::optional<HookOutcome> hook;
  std::optional<LanOutcome> lan;
  std::vector<CommandOutcome> commands;  // one per Ethernet controller of the board, in board order

  friend bool operator==(const Outcome &, const Outcome &) = default;
};

// An EFI_STATUS as the IA-32 BoardPei holds it (32 bits, the error bit at
// 31), widened again: BoardPei's entry status is compared in this form.
std::uint64_t IaStatus(std::uint64_t status);

// One outcome that differs: "LAN MAC first list", with both values as text.
struct Problem {
  std::string outcome;
  std::string expected;
  std::string seen;

  friend bool operator==(const Problem &, const Problem &) = default;
};

// Every outcome whose text differs, in report order.
std::vector<Problem> Compare(const Outcome &expected, const Outcome &seen);
// "LAN MAC first list: expected 02:4B:52:56:37:01, seen 37:01:00:00:00:00".
std::string ProblemText(const Problem &problem);

}  // namespace boardsim
