// What must hold after any boot, however the board, the services and the
// callers misbehave. Checked on every fuzzed native boot and on every boot of
// the emulated sweep.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/boot/boot.h"

namespace boardsim::fuzz {

// The caller's room for the LAN MAC query: Buffer holds 3 bytes of the
// caller's, then a one-entry list; Out a three-entry list.
inline constexpr std::size_t kLanBufferSize = 10;
inline constexpr std::size_t kLanOutSize = 19;
// Guard bytes past each buffer's documented end.
inline constexpr std::size_t kLanGuardSize = 16;

// Calls the LAN MAC query with guarded caller buffers (or NULL for either)
// pre-filled with `fill`, and adds a violation if the query writes past the
// documented sizes, touches Buffer's first 3 bytes, or counts more entries
// than the room allows. Returns what the query answered (its lists only when
// neither buffer is NULL), or nothing if BOARD_HOOK_PROTOCOL is not installed.
std::optional<LanMacResult> QueryLanMacsGuarded(Boot &boot, bool nullBuffer, bool nullOut, std::uint8_t fill,
                                                std::vector<std::string> &violations);

// The register writes, event closes and Command bytes of the whole boot:
// writes only to the two lane registers and to the Ethernet controllers'
// Command bytes; no event closed again after a successful close; every
// controller's Command byte as the board set it.
std::vector<std::string> CheckBootInvariants(Boot &boot);

}  // namespace boardsim::fuzz
