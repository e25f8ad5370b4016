// Rebasing a TE image for execution in place: the image must run where its
// TE header lies, so its image base and every base relocation follow the
// header's address.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace boardfv {

// The TE image with its header moved to `headerAddress`: ImageBase becomes
// headerAddress + 40 - StrippedSize and each base relocation is adjusted by
// the difference. Throws FvError (or boardimage::ImageFormatError) for an
// image that does not parse, a relocation of a kind it does not know, or an
// image base that an IA-32 image cannot hold.
std::vector<std::uint8_t> RebaseTe(std::span<const std::uint8_t> te, std::uint64_t headerAddress);

// Where a TE image's relative address 0 lies relative to its header: the
// header sits StrippedSize - 40 bytes above the image base.
std::int64_t TeImageBaseOffset(std::span<const std::uint8_t> te);

// The alignment the image base needs so that every section keeps the
// alignment it was linked with: the largest power of two (up to 4 KiB) that
// divides every section's relative address.
std::uint32_t TeImageAlignment(std::span<const std::uint8_t> te);

}  // namespace boardfv
