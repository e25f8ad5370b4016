// Failure injection: a chosen status on the Nth call of a service.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board_config.h"

namespace boardsim {

class FailurePlan {
 public:
  explicit FailurePlan(std::vector<InjectedFailure> failures = {}) : failures_(std::move(failures)) {}

  // Counts one call of the service and returns the status to inject into
  // this call, if one is planned.
  std::optional<std::uint64_t> OnCall(std::string_view service);
  // How often each service was called so far.
  const std::map<std::string, unsigned, std::less<>> &Counts() const { return counts_; }

 private:
  std::vector<InjectedFailure> failures_;
  std::map<std::string, unsigned, std::less<>> counts_;
};

}  // namespace boardsim
