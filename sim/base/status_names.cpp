#include "sim/base/status_names.h"

#include <array>
#include <cstdio>

#include "uefi/status.h"

namespace boardsim {
namespace {

struct NamedStatus {
  std::string_view name;
  std::uint64_t value;
};

constexpr std::array<NamedStatus, 9> kStatuses = {{
    {"EFI_SUCCESS", EFI_SUCCESS},
    {"EFI_LOAD_ERROR", EFI_LOAD_ERROR},
    {"EFI_INVALID_PARAMETER", EFI_INVALID_PARAMETER},
    {"EFI_UNSUPPORTED", EFI_UNSUPPORTED},
    {"EFI_BUFFER_TOO_SMALL", EFI_BUFFER_TOO_SMALL},
    {"EFI_DEVICE_ERROR", EFI_DEVICE_ERROR},
    {"EFI_OUT_OF_RESOURCES", EFI_OUT_OF_RESOURCES},
    {"EFI_NOT_FOUND", EFI_NOT_FOUND},
    {"EFI_WARN_UNKNOWN_GLYPH", EFI_WARN_UNKNOWN_GLYPH},
}};

// Statuses are named by their 64-bit values, whichever module returned them.
static_assert(EFI_INVALID_PARAMETER == 0x8000000000000002ull);

}  // namespace

std::string StatusName(std::uint64_t status) {
  for (const auto &known : kStatuses)
    if (known.value == status) return std::string(known.name);
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(status));
  return text;
}

std::optional<std::uint64_t> ParseStatus(std::string_view name) {
  for (const auto &known : kStatuses)
    if (known.name == name) return known.value;
  return std::nullopt;
}

std::vector<std::string> StatusNames() {
  std::vector<std::string> names;
  for (const auto &known : kStatuses) names.emplace_back(known.name);
  return names;
}

}  // namespace boardsim
