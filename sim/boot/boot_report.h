// What a firmware engineer wants to see first after a simulated boot: the
// riser identified, the Setup texts set, the SMBIOS slot records kept and
// deleted, the MAC lists, the PCD value, the lane registers written, the
// answers of the board's interfaces, and anything unexpected.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/boot/boot.h"

namespace boardsim {

struct BootReport {
  std::string board;
  std::string description;
  std::string engine;

  std::uint16_t pchDeviceId = 0;
  std::string pchSeries;                  // "H", "LP" or "not recognised"
  std::optional<std::uint8_t> riserPads;  // GPP_K pads 3..0 as a code, when all four are host pads
  std::string riserPadStates;             // "0, 1, owned by agent 1, 1"
  std::string riserCard;

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

  std::vector<std::string> problems;
  std::vector<std::pair<std::string, std::uint64_t>> instructions;
  std::vector<std::string> trace;
};

// Runs the default boot sequence and the consumer calls, and collects the report.
BootReport RunBoot(const BoardConfig &board, Engine &engine);

// UTF-16LE bytes as text ("KRV7-DM3TQA"); non-ASCII code units as \uXXXX.
std::string Utf16Text(const std::vector<std::uint8_t> &bytes);

std::string ReportText(const BootReport &report, bool withTrace);
std::string ReportJson(const BootReport &report, bool withTrace);

}  // namespace boardsim
