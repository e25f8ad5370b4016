#include "sim/core/failure_plan.h"

#include "sim/base/status_names.h"

namespace boardsim {

std::optional<std::uint64_t> FailurePlan::OnCall(std::string_view service, std::string_view callText) {
  auto it = counts_.find(service);
  if (it == counts_.end()) it = counts_.emplace(std::string(service), 0).first;
  ++it->second;
  if (const auto failure = schedule_.OnCall(service, callText)) return failure->status;
  return std::nullopt;
}

std::optional<std::uint64_t> InjectedCall::Error(Trace &trace, std::size_t call) const {
  if (!injected_ || (*injected_ >> 63) == 0) return std::nullopt;
  trace.Complete(call, StatusName(*injected_) + " (injected)");
  return injected_;
}

std::uint64_t InjectedCall::Finish(std::uint64_t status, std::string &resultText) const {
  if (!injected_ || status != 0) return status;
  resultText = " (injected)" + resultText;
  return *injected_;
}

}  // namespace boardsim
