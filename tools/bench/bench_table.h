// The bench figures as a table, each beside its accepted baseline value.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace boardbench {

// One line per figure: its path ("images/BoardDxe.efi/bytes"), its value,
// the baseline's, and the change. Figures missing on one side show "-".
std::string FormatTable(const nlohmann::ordered_json &figures, const nlohmann::ordered_json &baseline);

}  // namespace boardbench
