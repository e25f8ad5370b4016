#include "tests/fuzz/boot_invariants.h"

#include <map>
#include <set>

#include "sim/base/board_text.h"
#include "sim/core/known_guids.h"

namespace boardsim::fuzz {
namespace {

// The lane overrides: 0x152F2800 at offsets 0x1558 and 0x1D58 of sideband
// port 0xA8, as the sideband window addresses them.
constexpr std::uint64_t kLaneRegisters[] = {0xFDA81558, 0xFDA81D58};
constexpr std::uint64_t kLaneValue = 0x152F2800;
// PCI configuration space: bus << 20, device << 15, function << 12; the
// Command register at offset 4. The onboard controller's vendor and device.
constexpr std::uint64_t kPciConfigBase = 0xE0000000;
constexpr std::uint64_t kCommandOffset = 4;
constexpr std::uint32_t kOnboardLan = 0x15338086;

bool IsLaneWrite(const TraceEntry &entry) {
  for (const std::uint64_t lane : kLaneRegisters)
    if (entry.address == lane && entry.width == 32 && entry.value == kLaneValue) return true;
  return false;
}

bool IsControllerCommandWrite(const TraceEntry &entry, const BoardConfig &board) {
  if (entry.width != 8) return false;
  for (const PciEndpoint &endpoint : board.endpoints)
    if (endpoint.vendorDevice == kOnboardLan &&
        entry.address == kPciConfigBase + (std::uint64_t{endpoint.bus} << 20) + kCommandOffset)
      return true;
  return false;
}

// "call BS.CloseEvent(event#3) = EFI_SUCCESS" -> (3, true)
bool ParseClose(const std::string &text, unsigned &event, bool &succeeded) {
  const std::string prefix = "BS.CloseEvent(event#";
  if (text.rfind(prefix, 0) != 0) return false;
  event = static_cast<unsigned>(std::stoul(text.substr(prefix.size())));
  succeeded = text.ends_with("= EFI_SUCCESS");
  return true;
}

}  // namespace

std::optional<LanMacResult> QueryLanMacsGuarded(Boot &boot, bool nullBuffer, bool nullOut, std::uint8_t fill,
                                                std::vector<std::string> &violations) {
  if (!boot.Dxe().FindProtocol(BoardHookProtocolGuid())) return std::nullopt;
  GuestMemory &memory = boot.DxeMachine().Memory();
  const auto prepare = [&](bool null, std::size_t size) -> GuestAddr {
    if (null) return 0;
    const GuestAddr at = memory.Allocate(size + kLanGuardSize);
    const std::vector<std::uint8_t> bytes(size + kLanGuardSize, fill);
    memory.Write(at, bytes.data(), bytes.size());
    return at;
  };
  const GuestAddr buffer = prepare(nullBuffer, kLanBufferSize);
  const GuestAddr out = prepare(nullOut, kLanOutSize);
  LanMacResult result;
  const std::uint64_t status = result.status = boot.CallLanMacQuery(buffer, out);
  const auto inspect = [&](GuestAddr at, std::size_t size, std::size_t listAt, unsigned room, const char *name,
                           std::vector<std::uint8_t> &kept) {
    if (at == 0) return;
    const auto bytes = memory.ReadBytes(at, size + kLanGuardSize);
    kept.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    for (std::size_t i = 0; i < bytes.size(); ++i)
      if (bytes[i] != fill && (i >= size || i < listAt))
        violations.push_back(std::string("LAN MAC query wrote byte ") + std::to_string(i) + " of " + name +
                             ", outside its list of " + std::to_string(size - listAt) + " bytes");
    if (status == 0 && bytes[listAt] > room)
      violations.push_back(std::string("LAN MAC query counted ") + std::to_string(bytes[listAt]) + " entries in " +
                           name + ", which has room for " + std::to_string(room));
    memory.Release(at);
  };
  inspect(buffer, kLanBufferSize, 3, 1, "Buffer", result.buffer);
  inspect(out, kLanOutSize, 0, 3, "Out", result.out);
  if (buffer != 0 && out != 0) {
    result.first = ReadMacList(result.buffer, 3);
    result.second = ReadMacList(result.out, 0);
  }
  return result;
}

std::vector<std::string> CheckBootInvariants(Boot &boot) {
  std::vector<std::string> violations;
  std::set<unsigned> closed;
  for (const TraceEntry &entry : boot.GetTrace().Entries()) {
    if (entry.kind == TraceEntry::Kind::Write && !IsLaneWrite(entry) && !IsControllerCommandWrite(entry, boot.Board()))
      violations.push_back("register write to no allowed register: " + entry.ToString());
    unsigned event = 0;
    bool succeeded = false;
    if (entry.kind == TraceEntry::Kind::Call && ParseClose(entry.text, event, succeeded)) {
      if (closed.contains(event))
        violations.push_back("event#" + std::to_string(event) + " closed again: " + entry.text);
      if (succeeded) closed.insert(event);
    }
  }
  for (const PciEndpoint &endpoint : boot.Board().endpoints) {
    const std::uint8_t now = boot.Hardware().CommandRegister(endpoint.bus);
    if (now != endpoint.command)
      violations.push_back("the Command byte of bus " + std::to_string(endpoint.bus) + " is left at " + Hex(now, 2) +
                           ", not " + Hex(endpoint.command, 2));
  }
  return violations;
}

}  // namespace boardsim::fuzz
