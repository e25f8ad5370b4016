// The outcome a boot showed, in the scoreboard's terms.
#pragma once

#include "sim/boot/boot_record.h"
#include "sim/scoreboard/outcome.h"

namespace boardsim {

Outcome SeenOutcome(const BootRecord &record);

}  // namespace boardsim
