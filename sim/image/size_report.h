// The size report of a firmware image: bytes of the file against its flash
// budget, and each section's place and size in memory and in the file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/image/image_headers.h"

namespace boardimage {

// The flash budget of a firmware image file by its name ("BoardPei.te"), from
// the board's firmware layout; none for other files.
std::optional<std::uint32_t> BudgetOf(std::string_view fileName);

std::string FormatSizeReport(std::string_view fileName, std::span<const std::uint8_t> file, const ImageHeaders &headers,
                             std::optional<std::uint32_t> budget);

}  // namespace boardimage
