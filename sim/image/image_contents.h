// What an image's data directories hold: the base relocations a loader or
// firmware-volume tool applies when it moves the image, and the debug
// directory entries.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/image/image_headers.h"

namespace boardimage {

struct BaseRelocation {
  std::uint32_t rva = 0;
  std::uint8_t type = 0;  // pe::kRelocationHighLow, pe::kRelocationDir64, ...
};

// Every base relocation except the padding entries (type 0), in table order.
// Throws ImageFormatError for a block that is malformed or not in the file.
std::vector<BaseRelocation> ReadBaseRelocations(const ImageHeaders &headers, std::span<const std::uint8_t> file);

struct DebugEntry {
  std::uint32_t type = 0;
  std::uint32_t sizeOfData = 0;
  std::uint32_t addressOfRawData = 0;
  std::uint32_t pointerToRawData = 0;
};

std::vector<DebugEntry> ReadDebugDirectory(const ImageHeaders &headers, std::span<const std::uint8_t> file);

}  // namespace boardimage
