// Names of the EFI_STATUS values the board's modules and services use, for
// the trace, reports and board files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

// "EFI_NOT_FOUND"; a value without a name prints as hex, "0x8000000000000017".
std::string StatusName(std::uint64_t status);

// The value of an EFI_* name; empty if the name is unknown.
std::optional<std::uint64_t> ParseStatus(std::string_view name);

// Every name ParseStatus accepts, for messages.
std::vector<std::string> StatusNames();

}  // namespace boardsim
