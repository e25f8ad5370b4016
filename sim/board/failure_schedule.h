// Which call of a service an injected failure hits: counted per service,
// or among the calls that carry the failure's arguments. The DXE and PEI
// core models consult it at each call; the scoreboard replays the board's
// calls through it to know what the firmware saw.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board/board_config.h"

namespace boardsim {

// The "key value" arguments of a call as the trace writes it:
// "SMBIOS.ReadStructure(type 9, instance 3)" has type 9 and instance 3.
// Arguments without a key (a GUID name, a TPL) are left out.
std::vector<CallArgument> CallArguments(std::string_view callText);

class FailureSchedule {
 public:
  explicit FailureSchedule(std::vector<InjectedFailure> failures = {});

  // Counts one call of the service with these arguments and returns the
  // failure planned for it, if any.
  std::optional<InjectedFailure> OnCall(std::string_view service, const std::vector<CallArgument> &arguments);
  // The same, for a call traced as callText: its arguments are read only if
  // a failure for the service names some.
  std::optional<InjectedFailure> OnCall(std::string_view service, std::string_view callText);

 private:
  std::vector<InjectedFailure> failures_;
  std::vector<unsigned> seen_;  // per failure: the calls that matched it so far
};

// "SMBIOS.ReadStructure for instance 3": the call a failure picks, in words.
std::string FailureTarget(const InjectedFailure &failure);

}  // namespace boardsim
