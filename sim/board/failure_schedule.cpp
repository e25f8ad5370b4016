#include "sim/board/failure_schedule.h"

#include <cctype>
#include <charconv>

namespace boardsim {
namespace {

std::optional<std::uint64_t> Number(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

bool SameValue(std::string_view a, std::string_view b) {
  const auto x = Number(a);
  const auto y = Number(b);
  return x && y ? *x == *y : a == b;
}

bool Matches(const InjectedFailure &failure, const std::vector<CallArgument> &arguments) {
  for (const CallArgument &wanted : failure.arguments) {
    bool found = false;
    for (const CallArgument &given : arguments)
      found = found || (given.key == wanted.key && SameValue(given.value, wanted.value));
    if (!found) return false;
  }
  return true;
}

}  // namespace

std::vector<CallArgument> CallArguments(std::string_view callText) {
  std::vector<CallArgument> arguments;
  const auto open = callText.find('(');
  const auto close = callText.find(')', open);
  if (open == std::string_view::npos || close == std::string_view::npos) return arguments;
  std::string_view list = callText.substr(open + 1, close - open - 1);
  while (!list.empty()) {
    const auto comma = list.find(", ");
    const std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 2);
    const auto space = item.find(' ');
    if (space == std::string_view::npos || item.find(' ', space + 1) != std::string_view::npos) continue;
    if (!std::isalpha(static_cast<unsigned char>(item.front()))) continue;  // "6 bytes" is no key
    arguments.push_back({std::string(item.substr(0, space)), std::string(item.substr(space + 1))});
  }
  return arguments;
}

FailureSchedule::FailureSchedule(std::vector<InjectedFailure> failures)
    : failures_(std::move(failures)), seen_(failures_.size(), 0) {}

std::optional<InjectedFailure> FailureSchedule::OnCall(std::string_view service,
                                                       const std::vector<CallArgument> &arguments) {
  std::optional<InjectedFailure> planned;
  for (std::size_t i = 0; i < failures_.size(); ++i) {
    if (failures_[i].service != service || !Matches(failures_[i], arguments)) continue;
    if (++seen_[i] == failures_[i].nth && !planned) planned = failures_[i];
  }
  return planned;
}

std::optional<InjectedFailure> FailureSchedule::OnCall(std::string_view service, std::string_view callText) {
  bool withArguments = false;
  for (const InjectedFailure &failure : failures_)
    withArguments = withArguments || (failure.service == service && !failure.arguments.empty());
  return OnCall(service, withArguments ? CallArguments(callText) : std::vector<CallArgument>{});
}

std::string FailureTarget(const InjectedFailure &failure) {
  std::string text = failure.service;
  if (failure.arguments.empty()) return text + " call " + std::to_string(failure.nth);
  text += " for";
  for (std::size_t i = 0; i < failure.arguments.size(); ++i)
    text += (i ? ", " : " ") + failure.arguments[i].key + " " + failure.arguments[i].value;
  if (failure.nth != 1) text += " (call " + std::to_string(failure.nth) + " of those)";
  return text;
}

}  // namespace boardsim
