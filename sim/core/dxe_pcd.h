// The DXE core's PCD service, PCD_PROTOCOL, with the platform's database of
// dynamic PCD tokens (the board's pcdTokens: token number -> size and
// value). BoardDxe knows it as its port locator: member 3 is Get32, and the
// port identifiers 8, 0x18C, 0x18D and 0x18E are tokens whose values are the
// bridges' bus/device/function.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/base/machine.h"
#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/core/failure_plan.h"

namespace boardsim {

// What Get32 answers for a token number the database does not hold. The PCD
// driver checks the token number only with assertions, which a release build
// drops; it then reads past its token table, so the platform's answer is
// undefined. The model answers all ones, what a read of nothing gives on PCI,
// so a bridge looked up that way leads nowhere, and the trace flags the call.
inline constexpr std::uint32_t kUnknownPcdTokenAnswer = 0xFFFFFFFF;

class DxePcd {
 public:
  DxePcd(const BoardConfig &board, Machine &machine, Trace &trace, FailurePlan &failures);

  // The PCD_PROTOCOL table, built in guest memory on first use.
  GuestAddr Interface();
  // Get32(TokenNumber): the token's value as 32 bits, traced. A token of
  // another size answers the low 32 bits of its value, as the release driver
  // reads 4 bytes where the value lies.
  std::uint32_t Get32(std::uint64_t token);

 private:
  const BoardConfig &board_;
  Machine &machine_;
  Trace &trace_;
  FailurePlan &failures_;
  std::optional<GuestAddr> interface_;
};

}  // namespace boardsim
