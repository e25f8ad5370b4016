// What a firmware engineer wants to see first after a simulated boot: the
// riser identified, the Setup texts set, the SMBIOS slot records kept and
// deleted, the MAC lists, the PCD value, the lane registers written, the
// answers of the board's interfaces, and anything unexpected.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/boot/boot_record.h"

namespace boardsim {

// The record of a boot, with what it tells: the PCH series and the riser card.
struct BootReport : BootRecord {
  std::string pchSeries;                  // "H", "LP" or "not recognised"
  std::optional<std::uint8_t> riserPads;  // GPP_K pads 3..0 as a code, when all four are host pads
  std::string riserPadStates;             // "0, 1, owned by agent 1, 1"
  std::string riserCard;
};

BootReport DescribeBoot(const BootRecord &record);

// UTF-16LE bytes as text ("KRV7-DM3TQA"); non-ASCII code units as \uXXXX.
std::string Utf16Text(const std::vector<std::uint8_t> &bytes);

std::string ReportText(const BootReport &report, bool withTrace);
std::string ReportJson(const BootReport &report, bool withTrace);

}  // namespace boardsim
