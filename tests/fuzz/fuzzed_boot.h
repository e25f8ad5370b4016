// A whole boot driven by arbitrary bytes: the board's register answers, the
// statuses services return, the SMBIOS copies, the order the protocols
// arrive in, and the consumers' member calls with their arguments. The
// libFuzzer harnesses feed it the fuzzer's bytes; the emulated sweep feeds
// it seeded random bytes. Each boot must keep the invariants of
// boot_invariants.h and leave the outcome the scoreboard expects for that
// board after the same steps in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/base/machine.h"
#include "sim/board/board_config.h"
#include "sim/boot/boot_record.h"

namespace boardsim::fuzz {

struct FuzzedBootResult {
  bool ran = false;                     // false: the bytes describe no buildable board
  std::vector<std::string> violations;  // broken invariants and scoreboard problems, empty if none
  BoardConfig board;                    // the board the bytes described
  std::optional<BootRecord> record;     // the whole boot, trace included, when asked for
};

// keepRecord: also fill `record` (costs the trace's text; for comparing boots).
FuzzedBootResult RunFuzzedBoot(std::span<const std::uint8_t> bytes, Engine &engine, bool keepRecord = false);

}  // namespace boardsim::fuzz
