#include "sim/board/board_checks.h"

#include <map>

#include "sim/base/board_text.h"
#include "sim/base/services.h"
#include "sim/board/address_map.h"
#include "sim/board/pch_gpio_layout.h"

namespace boardsim {
namespace {

constexpr std::uint16_t kPchBdf = 31 << 3;

std::string Indexed(const char *list, std::size_t index) {
  return std::string(list) + "[" + std::to_string(index) + "]";
}

// A range and who holds it: a fixed window, or an endpoint's registers
// (named only when a problem is reported: a good board formats no text).
struct Range {
  std::uint64_t base;
  std::uint64_t size;
  const char *window = nullptr;
  std::size_t endpoint = 0;

  std::string Owner() const { return window ? window : Indexed("endpoints", endpoint) + "'s registers"; }
};

bool Overlap(const Range &a, const Range &b) { return a.base < b.base + b.size && b.base < a.base + a.size; }

void CheckPads(const BoardConfig &board, std::vector<BoardProblem> &problems) {
  for (const auto &[pad, state] : board.pads) {
    const auto field = [pad = pad] { return "pads[" + Hex(pad, 8) + "]"; };
    std::string why;
    if (!DecodeGpioPad(pad, &why)) problems.push_back({field(), Hex(pad, 8) + " is not a GPIO pad: " + why});
    if (state.owner > 0xF)
      problems.push_back(
          {field() + ".owner", "the ownership field has 4 bits (0..15), got " + std::to_string(state.owner)});
  }
}

void CheckPciLocations(const BoardConfig &board, std::vector<BoardProblem> &problems) {
  // Who took each location: the PCH, or a bridge or endpoint by index.
  struct Holder {
    const char *list;
    std::size_t index;
    std::string Name() const { return list ? Indexed(list, index) : "the PCH"; }
  };
  std::map<std::uint16_t, Holder> taken = {{kPchBdf, {nullptr, 0}}};
  const auto claim = [&](std::uint16_t bdf, Holder holder, const char *member) {
    const auto [place, fresh] = taken.emplace(bdf, holder);
    if (!fresh)
      problems.push_back({holder.Name() + member, FormatBdf(bdf) + " is already taken by " + place->second.Name()});
  };
  for (std::size_t i = 0; i < board.bridges.size(); ++i) claim(board.bridges[i].bdf, {"bridges", i}, ".bdf");
  for (std::size_t i = 0; i < board.endpoints.size(); ++i)
    claim(static_cast<std::uint16_t>(board.endpoints[i].bus << 8), {"endpoints", i}, ".bus");
}

void CheckBars(const BoardConfig &board, std::vector<BoardProblem> &problems) {
  std::vector<Range> ranges = {
      {address_map::kSidebandBase, address_map::kSidebandSize, "the sideband window"},
      {address_map::kPciConfigBase, address_map::kPciConfigSize, "the PCI configuration window"}};
  for (std::size_t i = 0; i < board.endpoints.size(); ++i) {
    const PciEndpoint &endpoint = board.endpoints[i];
    const auto field = [i] { return Indexed("endpoints", i) + ".bar0"; };
    const std::uint32_t type = (endpoint.bar0 >> 1) & 3;
    if (endpoint.bar0Upper != 0 && type != 2)
      problems.push_back(
          {Indexed("endpoints", i) + ".bar0Upper", "only a 64-bit BAR (bits 2..1 of bar0 = 10b) has an upper dword"});
    const std::uint32_t base = endpoint.bar0 & ~0xFu;
    if (base == 0) continue;
    if ((endpoint.bar0 & 1) != 0) {
      problems.push_back(
          {field(), Hex(endpoint.bar0, 8) + " is an I/O BAR (bit 0 set); the registers need a memory BAR"});
      continue;
    }
    if (type == 1 || type == 3) {
      problems.push_back({field(), Hex(endpoint.bar0, 8) + " has a reserved type (bits 2..1 = " + std::to_string(type) +
                                       "); use 0 (32-bit) or 2 (64-bit)"});
      continue;
    }
    if (base % address_map::kEthernetWindowSize != 0) {
      problems.push_back({field(), Hex(base, 8) + " is not aligned to the controller's 128 KiB register window"});
      continue;
    }
    const Range window{base, address_map::kEthernetWindowSize, nullptr, i};
    for (const Range &other : ranges)
      if (Overlap(window, other))
        problems.push_back({field(), "the register window " + Hex(base, 8) + ".." +
                                         Hex(base + address_map::kEthernetWindowSize - 1, 8) + " overlaps " +
                                         other.Owner()});
    ranges.push_back(window);
  }
}

void CheckSlots(const BoardConfig &board, std::vector<BoardProblem> &problems) {
  std::map<unsigned, std::size_t> instances;
  std::map<unsigned, std::size_t> handles;
  for (std::size_t i = 0; i < board.smbiosSlots.size(); ++i) {
    const SmbiosSlotRecord &slot = board.smbiosSlots[i];
    if (const auto [place, fresh] = instances.emplace(slot.instance, i); !fresh)
      problems.push_back({Indexed("smbiosSlots", i) + ".instance", "instance " + std::to_string(slot.instance) +
                                                                       " is already held by " +
                                                                       Indexed("smbiosSlots", place->second)});
    if (const auto [place, fresh] = handles.emplace(slot.handle, i); !fresh)
      problems.push_back(
          {Indexed("smbiosSlots", i) + ".handle",
           "handle " + Hex(slot.handle, 4) + " is already held by " + Indexed("smbiosSlots", place->second)});
  }
}

bool IsKnownService(const std::string &name) {
  for (std::size_t i = 0; i < static_cast<std::size_t>(Service::Count); ++i)
    if (name == InfoOf(static_cast<Service>(i)).name) return true;
  return false;
}

void CheckFailures(const BoardConfig &board, std::vector<BoardProblem> &problems) {
  for (std::size_t i = 0; i < board.failures.size(); ++i) {
    const InjectedFailure &failure = board.failures[i];
    if (!IsKnownService(failure.service)) {
      std::string known;
      for (std::size_t s = 0; s < static_cast<std::size_t>(Service::Count); ++s)
        known += std::string(s == 0 ? "" : ", ") + InfoOf(static_cast<Service>(s)).name;
      problems.push_back({Indexed("failures", i) + ".service",
                          "unknown service \"" + Clipped(failure.service) + "\"; services: " + known});
    }
    if (failure.nth == 0) problems.push_back({Indexed("failures", i) + ".nth", "calls are counted from 1, got 0"});
  }
}

}  // namespace

std::vector<BoardProblem> CheckHardware(const BoardConfig &board) {
  std::vector<BoardProblem> problems;
  CheckPads(board, problems);
  CheckPciLocations(board, problems);
  CheckBars(board, problems);
  return problems;
}

std::vector<BoardProblem> CheckServices(const BoardConfig &board) {
  std::vector<BoardProblem> problems;
  CheckSlots(board, problems);
  CheckFailures(board, problems);
  return problems;
}

std::vector<BoardProblem> CheckBoard(const BoardConfig &board) {
  auto problems = CheckHardware(board);
  for (auto &problem : CheckServices(board)) problems.push_back(std::move(problem));
  return problems;
}

}  // namespace boardsim
