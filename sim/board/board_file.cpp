#include "sim/board/board_file.h"

#include <charconv>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "sim/base/board_text.h"
#include "sim/base/status_names.h"
#include "sim/board/board_checks.h"
#include "sim/board/board_json.h"
#include "sim/board/pch_gpio_layout.h"
#include "tools/files/input_file.h"

namespace boardsim {
namespace {

using Json = BoardJson;

std::string Child(const std::string &path, std::string_view name) {
  return path.empty() ? Clipped(name) : path + "." + Clipped(name);
}

std::string Element(const std::string &path, std::size_t index) { return path + "[" + std::to_string(index) + "]"; }

// The offending value as the file has it, cut short if it is large. Values
// are at most kMaxDepth deep, so printing them cannot run out of stack.
std::string Shown(const Json &value) { return Clipped(value.dump()); }

// A file string in quotes, cut short if it is long.
std::string Quoted(const std::string &text) { return "\"" + Clipped(text) + "\""; }

std::string RangeText(std::uint64_t min, std::uint64_t max) {
  if (max <= 255) return std::to_string(min) + ".." + std::to_string(max);
  return std::to_string(min) + ".." + Hex(max);
}

std::string JoinNames(const std::vector<std::string> &names) {
  std::string text;
  for (const auto &name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::optional<std::uint64_t> HexString(const std::string &text) {
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
  std::uint64_t value = 0;
  const char *first = text.data() + 2;
  const char *last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value, 16);
  if (error != std::errc{} || end != last) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> AsInteger(const Json &value) {
  if (value.is_number_unsigned()) return value.get<std::uint64_t>();
  if (value.is_string()) return HexString(value.get_ref<const std::string &>());
  return std::nullopt;
}

// Reads one board file's JSON into a board, failing with the field's path.
class BoardReader {
 public:
  explicit BoardReader(const std::string &origin) : origin_(origin) {}

  // The fields in the order a board file gives them: where it starts from,
  // what it is called, its PCH and pads, its PCI devices, its SMBIOS slot
  // records, the services the platform offers, and the failures to inject.
  BoardConfig Read(const Json &root) {
    Object(root, "",
           {"base", "name", "description", "pchDeviceId", "pads", "bridges", "endpoints", "pcdTokens", "smbiosSlots",
            "setupStringService", "smbiosService", "portLocator", "pcdPpi", "peiPcdSizes", "failures"});
    BoardConfig board = Base(root);
    ReadIdentity(root, board);
    ReadPch(root, board);
    ReadPci(root, board);
    if (root.contains("smbiosSlots")) board.smbiosSlots = Slots(root["smbiosSlots"], "smbiosSlots");
    ReadServices(root, board);
    if (root.contains("failures")) board.failures = Failures(root["failures"], "failures");
    const auto problems = CheckBoard(board);
    if (!problems.empty()) Fail(problems.front().field, problems.front().problem);
    return board;
  }

 private:
  [[noreturn]] void Fail(const std::string &field, std::string problem) const {
    throw BoardFileError(origin_, field, std::move(problem));
  }

  // The value must be an object holding only the named fields.
  void Object(const Json &value, const std::string &path, std::initializer_list<std::string_view> fields) const {
    if (!value.is_object()) Fail(path.empty() ? "(top level)" : path, "expected an object, got " + Shown(value));
    for (const auto &[key, member] : value.items()) {
      bool known = false;
      for (std::string_view field : fields) known = known || key == field;
      if (known) continue;
      std::string allowed;
      for (std::string_view field : fields) allowed += (allowed.empty() ? "" : ", ") + std::string(field);
      Fail(Child(path, key), "unknown field; the fields here are " + allowed);
    }
  }

  const Json &Required(const Json &object, const std::string &path, const char *field) const {
    if (!object.contains(field)) Fail(Child(path, field), "missing");
    return object[field];
  }

  const Json &Array(const Json &value, const std::string &path) const {
    if (!value.is_array()) Fail(path, "expected a list, got " + Shown(value));
    return value;
  }

  std::uint64_t Integer(const Json &value, const std::string &path, std::uint64_t min, std::uint64_t max) const {
    const auto number = AsInteger(value);
    if (!number || *number < min || *number > max)
      Fail(path, "expected an integer " + RangeText(min, max) + ", got " + Shown(value));
    return *number;
  }

  std::string String(const Json &value, const std::string &path) const {
    if (!value.is_string()) Fail(path, "expected a string, got " + Shown(value));
    return value.get<std::string>();
  }

  void ReadFlag(const Json &root, const char *field, bool &flag) const {
    if (!root.contains(field)) return;
    if (!root[field].is_boolean()) Fail(field, "expected true or false, got " + Shown(root[field]));
    flag = root[field].get<bool>();
  }

  void ReadIdentity(const Json &root, BoardConfig &board) const {
    board.name = root.contains("name") ? String(root["name"], "name") : origin_;
    if (root.contains("description")) board.description = String(root["description"], "description");
  }

  void ReadPch(const Json &root, BoardConfig &board) const {
    if (root.contains("pchDeviceId"))
      board.pchDeviceId = static_cast<std::uint16_t>(Integer(root["pchDeviceId"], "pchDeviceId", 0, 0xFFFF));
    // The base's pads of another PCH series do not exist on this one.
    std::erase_if(board.pads, [&](const auto &pad) {
      return !DecodeBoardPad(pad.first, SeriesOfDeviceId(board.pchDeviceId), nullptr);
    });
    if (root.contains("pads")) MergePads(root["pads"], "pads", SeriesOfDeviceId(board.pchDeviceId), board.pads);
  }

  void ReadPci(const Json &root, BoardConfig &board) const {
    if (root.contains("bridges")) board.bridges = Bridges(root["bridges"], "bridges");
    if (root.contains("endpoints")) board.endpoints = Endpoints(root["endpoints"], "endpoints");
    if (root.contains("pcdTokens")) board.pcdTokens = PcdTokens(root["pcdTokens"], "pcdTokens");
  }

  void ReadServices(const Json &root, BoardConfig &board) const {
    ReadFlag(root, "setupStringService", board.setupStringService);
    ReadFlag(root, "smbiosService", board.smbiosService);
    ReadFlag(root, "portLocator", board.portLocator);
    ReadFlag(root, "pcdPpi", board.pcdPpi);
    if (root.contains("peiPcdSizes")) board.peiPcdSizes = PeiPcdSizes(root["peiPcdSizes"], "peiPcdSizes");
  }

  // Each entry of the list at path, read by entry(value, its path).
  template <typename Entry>
  void ForEach(const Json &value, const std::string &path, Entry entry) const {
    for (std::size_t i = 0; i < Array(value, path).size(); ++i) entry(value[i], Element(path, i));
  }

  BoardConfig Base(const Json &root) const {
    if (!root.contains("base")) return ShippedBoard();
    const std::string name = String(root["base"], "base");
    auto board = NamedBoard(name);
    if (!board) Fail("base", "unknown board " + Quoted(name) + "; named boards: " + JoinNames(NamedBoards()));
    return *board;
  }

  std::uint32_t PadId(const Json &value, const std::string &path, PchSeries series) const {
    if (value.is_object()) {
      Object(value, path, {"group", "index"});
      const std::string name = String(Required(value, path, "group"), Child(path, "group"));
      const auto group = FindGpioGroup(series, name);
      if (!group) {
        std::vector<std::string> names;
        for (const auto &known : GpioGroups(series)) names.emplace_back(known.name);
        Fail(Child(path, "group"), "no group " + Quoted(name) + " on the " + std::string(SeriesName(series)) +
                                       "-series PCH; its groups are " + JoinNames(names));
      }
      const std::uint16_t padCount = GpioGroups(series)[*group].padCount;
      const auto index = Integer(Required(value, path, "index"), Child(path, "index"), 0, padCount - 1u);
      return EncodeGpioPad(series, *group, static_cast<std::uint16_t>(index));
    }
    const auto number = AsInteger(value);
    if (!number || *number > 0xFFFFFFFF)
      Fail(path, "expected a GpioPad (\"0x030A0001\") or {\"group\": \"GPP_K\", \"index\": 1}, got " + Shown(value));
    std::string why;
    if (!DecodeBoardPad(static_cast<std::uint32_t>(*number), series, &why))
      Fail(path, Hex(*number, 8) + " is not a GPIO pad: " + why);
    return static_cast<std::uint32_t>(*number);
  }

  // Each entry changes one pad of the base board; a field the entry does not
  // give keeps the base's value (zero for a pad the base does not describe).
  void MergePads(const Json &value, const std::string &path, PchSeries series,
                 std::map<std::uint32_t, PadState> &pads) const {
    std::map<std::uint32_t, std::string> seenAt;
    ForEach(value, path, [&](const Json &entry, const std::string &at) {
      Object(entry, at, {"pad", "owner", "level", "dw0"});
      const std::uint32_t pad = PadId(Required(entry, at, "pad"), Child(at, "pad"), series);
      if (const auto [place, fresh] = seenAt.emplace(pad, at); !fresh)
        Fail(Child(at, "pad"), Hex(pad, 8) + " is already described by " + place->second);
      if (!entry.contains("owner") && !entry.contains("level") && !entry.contains("dw0"))
        Fail(at, "give the pad's \"owner\", its \"level\" (0 or 1) or its whole \"dw0\"");
      if (entry.contains("level") && entry.contains("dw0"))
        Fail(at, "give the pad's \"level\" (0 or 1) or its whole \"dw0\", not both");
      PadState &state = pads[pad];
      if (entry.contains("owner"))
        state.owner = static_cast<std::uint32_t>(Integer(entry["owner"], Child(at, "owner"), 0, 15));
      if (entry.contains("level"))
        state.dw0 = InputPadDw0(static_cast<unsigned>(Integer(entry["level"], Child(at, "level"), 0, 1)));
      if (entry.contains("dw0"))
        state.dw0 = static_cast<std::uint32_t>(Integer(entry["dw0"], Child(at, "dw0"), 0, 0xFFFFFFFF));
    });
  }

  std::uint16_t Bdf(const Json &value, const std::string &path) const {
    if (value.is_string()) {
      if (const auto bdf = ParseBdf(value.get_ref<const std::string &>())) return *bdf;
    }
    const auto number = AsInteger(value);
    if (!number || *number > 0xFFFF)
      Fail(path, "expected a bus/device/function (\"00:1C.0\", or 0..0xFFFF), got " + Shown(value));
    return static_cast<std::uint16_t>(*number);
  }

  std::uint8_t Byte(const Json &value, const std::string &path) const {
    return static_cast<std::uint8_t>(Integer(value, path, 0, 255));
  }

  std::uint32_t Dword(const Json &value, const std::string &path) const {
    return static_cast<std::uint32_t>(Integer(value, path, 0, 0xFFFFFFFF));
  }

  std::vector<PciBridge> Bridges(const Json &value, const std::string &path) const {
    std::vector<PciBridge> bridges;
    ForEach(value, path, [&](const Json &entry, const std::string &at) {
      Object(entry, at, {"bdf", "vendorDevice", "secondaryBus", "subordinateBus"});
      PciBridge bridge;
      bridge.bdf = Bdf(Required(entry, at, "bdf"), Child(at, "bdf"));
      if (entry.contains("vendorDevice")) bridge.vendorDevice = Dword(entry["vendorDevice"], Child(at, "vendorDevice"));
      bridge.secondaryBus = Byte(Required(entry, at, "secondaryBus"), Child(at, "secondaryBus"));
      bridge.subordinateBus = Byte(Required(entry, at, "subordinateBus"), Child(at, "subordinateBus"));
      bridges.push_back(bridge);
    });
    return bridges;
  }

  std::array<std::uint8_t, 6> Mac(const Json &value, const std::string &path) const {
    if (value.is_string()) {
      if (const auto mac = ParseMac(value.get_ref<const std::string &>())) return *mac;
    } else if (value.is_array() && value.size() == 6) {
      std::array<std::uint8_t, 6> mac{};
      for (std::size_t i = 0; i < mac.size(); ++i) mac[i] = Byte(value[i], Element(path, i));
      return mac;
    }
    Fail(path, "expected a MAC address (\"02:4B:52:56:37:01\", or a list of 6 bytes), got " + Shown(value));
  }

  std::vector<PciEndpoint> Endpoints(const Json &value, const std::string &path) const {
    std::vector<PciEndpoint> endpoints;
    ForEach(value, path, [&](const Json &entry, const std::string &at) {
      Object(entry, at, {"bus", "vendorDevice", "command", "bar0", "bar0Upper", "mac"});
      PciEndpoint endpoint;
      endpoint.bus = Byte(Required(entry, at, "bus"), Child(at, "bus"));
      if (entry.contains("vendorDevice"))
        endpoint.vendorDevice = Dword(entry["vendorDevice"], Child(at, "vendorDevice"));
      if (entry.contains("command")) endpoint.command = Byte(entry["command"], Child(at, "command"));
      if (entry.contains("bar0")) endpoint.bar0 = Dword(entry["bar0"], Child(at, "bar0"));
      if (entry.contains("bar0Upper")) endpoint.bar0Upper = Dword(entry["bar0Upper"], Child(at, "bar0Upper"));
      if (entry.contains("mac")) endpoint.mac = Mac(entry["mac"], Child(at, "mac"));
      endpoints.push_back(endpoint);
    });
    return endpoints;
  }

  // Token 0 is the PCD services' invalid token number.
  std::uint32_t TokenNumber(const Json &entry, const std::string &at) const {
    return static_cast<std::uint32_t>(Integer(Required(entry, at, "token"), Child(at, "token"), 1, 0xFFFFFFFF));
  }

  // Each token holds a bridge's bus/device/function (4 bytes) or a value of
  // its size.
  std::map<std::uint32_t, PcdToken> PcdTokens(const Json &value, const std::string &path) const {
    std::map<std::uint32_t, PcdToken> tokens;
    ForEach(value, path, [&](const Json &entry, const std::string &at) {
      Object(entry, at, {"token", "size", "value", "bridge"});
      const std::uint32_t number = TokenNumber(entry, at);
      PcdToken token;
      if (entry.contains("size")) {
        token.size = static_cast<std::uint8_t>(Integer(entry["size"], Child(at, "size"), 1, 8));
        if (token.size != 1 && token.size != 2 && token.size != 4 && token.size != 8)
          Fail(Child(at, "size"), "expected 1, 2, 4 or 8 bytes, got " + std::to_string(token.size));
      }
      if (entry.contains("value") == entry.contains("bridge")) Fail(at, "expected either \"value\" or \"bridge\"");
      if (entry.contains("bridge")) {
        if (token.size != 4) Fail(Child(at, "size"), "a bridge token holds 4 bytes");
        token.value = Bdf(entry["bridge"], Child(at, "bridge"));
      } else {
        const std::uint64_t max = token.size == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * token.size)) - 1;
        token.value = Integer(entry["value"], Child(at, "value"), 0, max);
      }
      if (!tokens.emplace(number, token).second) Fail(Child(at, "token"), "token " + Hex(number) + " is listed twice");
    });
    return tokens;
  }

  std::map<std::uint32_t, std::uint32_t> PeiPcdSizes(const Json &value, const std::string &path) const {
    std::map<std::uint32_t, std::uint32_t> sizes;
    ForEach(value, path, [&](const Json &entry, const std::string &at) {
      Object(entry, at, {"token", "size"});
      const std::uint32_t number = TokenNumber(entry, at);
      const auto size = static_cast<std::uint32_t>(Integer(Required(entry, at, "size"), Child(at, "size"), 0, 0x1000));
      if (!sizes.emplace(number, size).second) Fail(Child(at, "token"), "token " + Hex(number) + " is listed twice");
    });
    return sizes;
  }

  std::vector<SmbiosSlotRecord> Slots(const Json &value, const std::string &path) const {
    std::vector<SmbiosSlotRecord> slots;
    ForEach(value, path, [&](const Json &entry, const std::string &at) {
      Object(entry, at, {"instance", "handle", "designation"});
      SmbiosSlotRecord slot;
      slot.instance = Byte(Required(entry, at, "instance"), Child(at, "instance"));
      slot.handle = static_cast<std::uint16_t>(Integer(Required(entry, at, "handle"), Child(at, "handle"), 0, 0xFFFF));
      if (entry.contains("designation")) slot.designation = String(entry["designation"], Child(at, "designation"));
      slots.push_back(slot);
    });
    return slots;
  }

  std::uint64_t Status(const Json &value, const std::string &path) const {
    if (const auto number = AsInteger(value)) return *number;
    if (value.is_string()) {
      if (const auto status = ParseStatus(value.get_ref<const std::string &>())) return *status;
      Fail(path,
           "unknown status name " + Shown(value) + "; expected one of " + JoinNames(StatusNames()) + ", or a number");
    }
    Fail(path, "expected a status name (\"EFI_NOT_FOUND\") or a number, got " + Shown(value));
  }

  // {"instance": 3}: the arguments the trace shows, by their names there.
  std::vector<CallArgument> Arguments(const Json &value, const std::string &path) const {
    if (!value.is_object()) Fail(path, "expected an object of argument names and values, got " + Shown(value));
    std::vector<CallArgument> arguments;
    for (const auto &[key, given] : value.items()) {
      if (given.is_number_unsigned())
        arguments.push_back({key, std::to_string(given.get<std::uint64_t>())});
      else if (given.is_string())
        arguments.push_back({key, given.get<std::string>()});
      else
        Fail(Child(path, key), "expected a number or a string, got " + Shown(given));
    }
    return arguments;
  }

  std::vector<InjectedFailure> Failures(const Json &value, const std::string &path) const {
    std::vector<InjectedFailure> failures;
    ForEach(value, path, [&](const Json &entry, const std::string &at) {
      Object(entry, at, {"service", "arguments", "nth", "status"});
      InjectedFailure failure;
      failure.service = String(Required(entry, at, "service"), Child(at, "service"));
      if (entry.contains("arguments")) failure.arguments = Arguments(entry["arguments"], Child(at, "arguments"));
      if (entry.contains("nth"))
        failure.nth = static_cast<unsigned>(Integer(entry["nth"], Child(at, "nth"), 1, 0xFFFFFFFF));
      failure.status = Status(Required(entry, at, "status"), Child(at, "status"));
      failures.push_back(failure);
    });
    return failures;
  }

  const std::string &origin_;
};

}  // namespace

BoardConfig ParseBoardJson(const std::string &text, const std::string &origin) {
  return BoardReader(origin).Read(ParseBoardFileJson(text, origin));
}

BoardConfig LoadBoardFile(const std::string &path) {
  // A board file is a few KiB: stop well before a device or a huge file
  // could take the memory.
  constexpr std::uint64_t kMaxBytes = std::uint64_t{1} << 20;
  std::string text;
  try {
    text = boardfiles::ReadInputText(path, kMaxBytes);
  } catch (const boardfiles::FileError &error) {
    switch (error.kind()) {
      case boardfiles::FileProblem::kDirectory:
        throw BoardFileError(path, "", "is a directory; give the path of a board file (JSON)");
      case boardfiles::FileProblem::kTooLarge:
        throw BoardFileError(path, "", "larger than 1 MiB; a board file is a few KiB of JSON, is this the right file?");
      case boardfiles::FileProblem::kNotRegularFile:
        throw BoardFileError(path, "", error.problem() + "; give the path of a board file (JSON)");
      default:
        throw BoardFileError(path, "", error.problem());
    }
  }
  return ParseBoardJson(text, path);
}

}  // namespace boardsim
