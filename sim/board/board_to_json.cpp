#include <nlohmann/json.hpp>

#include "sim/base/board_text.h"
#include "sim/base/status_names.h"
#include "sim/board/board_file.h"
#include "sim/board/pch_gpio_layout.h"

namespace boardsim {
namespace {

using Json = nlohmann::ordered_json;

Json PadJson(std::uint32_t pad, const PadState &state) {
  Json entry = {{"pad", Hex(pad, 8)}, {"owner", state.owner}};
  // A plain input pad is written by its level, the way a board is described.
  if (state.dw0 == InputPadDw0(0) || state.dw0 == InputPadDw0(1))
    entry["level"] = (state.dw0 & kDw0RxStateBit) != 0 ? 1 : 0;
  else
    entry["dw0"] = Hex(state.dw0, 8);
  return entry;
}

Json EndpointJson(const PciEndpoint &endpoint) {
  Json entry = {{"bus", Hex(endpoint.bus, 2)},
                {"vendorDevice", Hex(endpoint.vendorDevice, 8)},
                {"command", Hex(endpoint.command, 2)},
                {"bar0", Hex(endpoint.bar0, 8)}};
  if (endpoint.bar0Upper != 0) entry["bar0Upper"] = Hex(endpoint.bar0Upper, 8);
  entry["mac"] = FormatMac(endpoint.mac);
  return entry;
}

}  // namespace

std::string BoardToJson(const BoardConfig &board) {
  Json root;
  // A file's pads merge with its base's: a named board starts from itself,
  // so the pads it does not have stay absent when the dump is read back.
  if (NamedBoard(board.name)) root["base"] = board.name;
  root["name"] = board.name;
  root["description"] = board.description;
  root["pchDeviceId"] = Hex(board.pchDeviceId, 4);

  root["pads"] = Json::array();
  for (const auto &[pad, state] : board.pads) root["pads"].push_back(PadJson(pad, state));

  root["bridges"] = Json::array();
  for (const PciBridge &bridge : board.bridges)
    root["bridges"].push_back({{"bdf", FormatBdf(bridge.bdf)},
                               {"vendorDevice", Hex(bridge.vendorDevice, 8)},
                               {"secondaryBus", Hex(bridge.secondaryBus, 2)},
                               {"subordinateBus", Hex(bridge.subordinateBus, 2)}});

  root["endpoints"] = Json::array();
  for (const PciEndpoint &endpoint : board.endpoints) root["endpoints"].push_back(EndpointJson(endpoint));

  root["pcdTokens"] = Json::array();
  for (const auto &[number, token] : board.pcdTokens) {
    if (token.size == 4 && token.value <= 0xFFFF)
      root["pcdTokens"].push_back(
          {{"token", Hex(number)}, {"bridge", FormatBdf(static_cast<std::uint16_t>(token.value))}});
    else
      root["pcdTokens"].push_back(
          {{"token", Hex(number)}, {"size", token.size}, {"value", Hex(token.value, 2 * token.size)}});
  }

  root["smbiosSlots"] = Json::array();
  for (const SmbiosSlotRecord &slot : board.smbiosSlots)
    root["smbiosSlots"].push_back(
        {{"instance", slot.instance}, {"handle", Hex(slot.handle, 4)}, {"designation", slot.designation}});

  root["setupStringService"] = board.setupStringService;
  root["smbiosService"] = board.smbiosService;
  root["portLocator"] = board.portLocator;
  root["pcdPpi"] = board.pcdPpi;
  root["peiPcdSizes"] = Json::array();
  for (const auto &[number, size] : board.peiPcdSizes)
    root["peiPcdSizes"].push_back({{"token", number}, {"size", size}});

  root["failures"] = Json::array();
  for (const InjectedFailure &failure : board.failures) {
    Json entry = {{"service", failure.service}};
    if (!failure.arguments.empty()) {
      entry["arguments"] = Json::object();
      for (const CallArgument &argument : failure.arguments) entry["arguments"][argument.key] = argument.value;
    }
    entry["nth"] = failure.nth;
    entry["status"] = StatusName(failure.status);
    root["failures"].push_back(entry);
  }

  return root.dump(2) + "\n";
}

}  // namespace boardsim
