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
  std::string pchSeries;       // "H", "LP" or "not recognised"
  std::uint8_t riserPads = 0;  // the code the firmware reads from GPP_K pads 3..0
  std::string riserPadStates;  // "pad 0 reads 0, pad 1 reads 1, pad 2 owned by agent 1: repeats ..."
  std::string riserCard;
};

BootReport DescribeBoot(const BootRecord &record);
// Whether the boot failed: it stopped, saw something unexpected, or did
// anything but what the board expects (boardsim then exits 1).
bool BootFailed(const BootRecord &record);

// UTF-16LE bytes as text ("KRV7-DM3TQA"); non-ASCII code units as \uXXXX.
std::string Utf16Text(const std::vector<std::uint8_t> &bytes);

std::string ReportText(const BootReport &report, bool withTrace);
std::string ReportJson(const BootReport &report, bool withTrace);

}  // namespace boardsim
