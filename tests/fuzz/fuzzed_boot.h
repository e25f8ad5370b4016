// A whole boot driven by arbitrary bytes: the board's register answers, the
// statuses services return, the SMBIOS copies, the order the protocols
// arrive in, and the consumers' member calls with their arguments. The
// libFuzzer harness feeds it the fuzzer's bytes on the native engine; the
// emulated sweep feeds it seeded random bytes on the emulated engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/base/machine.h"
#include "sim/board/board_config.h"

namespace boardsim::fuzz {

struct FuzzedBootResult {
  bool ran = false;                     // false: the bytes describe no buildable board
  std::vector<std::string> violations;  // broken invariants, empty if all held
  BoardConfig board;                    // the board the bytes described
};

FuzzedBootResult RunFuzzedBoot(std::span<const std::uint8_t> bytes, Engine &engine);

}  // namespace boardsim::fuzz
