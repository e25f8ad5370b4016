// Failure injection: a chosen status on the Nth call of a service.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/board/failure_schedule.h"

namespace boardsim {

class FailurePlan {
 public:
  explicit FailurePlan(std::vector<InjectedFailure> failures = {}) : schedule_(std::move(failures)) {}

  // Counts one call of the service, traced as callText, and returns the
  // status to inject into this call, if one is planned.
  std::optional<std::uint64_t> OnCall(std::string_view service, std::string_view callText = {});
  // How often each service was called so far.
  const std::map<std::string, unsigned, std::less<>> &Counts() const { return counts_; }

 private:
  FailureSchedule schedule_;
  std::map<std::string, unsigned, std::less<>> counts_;
};

// One service call under the plan: an injected error replaces the service's
// work; an injected warning is returned by a service that did its work, as
// a real one would.
class InjectedCall {
 public:
  InjectedCall(FailurePlan &plan, std::string_view service, std::string_view callText)
      : injected_(plan.OnCall(service, callText)) {}

  // The planned value, for a service that answers a value rather than a status.
  const std::optional<std::uint64_t> &Value() const { return injected_; }
  // The error to return at once instead of doing the work, if one is planned;
  // it completes the call's trace entry.
  std::optional<std::uint64_t> Error(Trace &trace, std::size_t call) const;
  // The status the call returns after its work: a planned warning replaces
  // success. Adds " (injected)" to the result text when it does.
  std::uint64_t Finish(std::uint64_t status, std::string &resultText) const;

 private:
  std::optional<std::uint64_t> injected_;
};

}  // namespace boardsim
