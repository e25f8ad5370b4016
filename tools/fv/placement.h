// Fitting a file to the address it will have: a TE image executes in place,
// so it is rebased to where its header lands.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace boardfv {

// Rebases every TE image in the sections of `file` for the file's first byte lying at
// `fileAddress`, and reseals the file for the erase polarity. A file without
// a TE image needs no address. Returns the address the (last) TE header was
// rebased for. Throws FvError if one is needed and missing, or the rebase is
// refused (naming the file and section).
std::optional<std::uint64_t> PlaceFile(std::span<std::uint8_t> file, std::optional<std::uint64_t> fileAddress,
                                       bool erasePolarity, const std::string &where);

}  // namespace boardfv
