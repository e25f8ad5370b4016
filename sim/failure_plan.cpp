#include "sim/failure_plan.h"

namespace boardsim {

std::optional<std::uint64_t> FailurePlan::OnCall(std::string_view service) {
  auto it = counts_.find(service);
  if (it == counts_.end()) it = counts_.emplace(std::string(service), 0).first;
  const unsigned nth = ++it->second;
  for (const auto &failure : failures_)
    if (failure.service == service && failure.nth == nth) return failure.status;
  return std::nullopt;
}

}  // namespace boardsim
