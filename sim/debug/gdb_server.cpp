#include "sim/debug/gdb_server.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iostream>
#include <system_error>
#include <utility>

#include "sim/debug/gdb_registers.h"

namespace boardsim::gdb {
namespace {

constexpr const char *kSupported =
    "PacketSize=1000;qXfer:features:read+;ReverseStep+;ReverseContinue+;swbreak+;hwbreak+;"
    "vContSupported+";
static_assert(kMaxPacket == 0x1000);

// Ctrl-C is looked for every so many instructions while the module runs.
constexpr std::uint64_t kInstructionsBetweenPolls = 4096;
// A client that sends this many broken packets in a row is not gdb.
constexpr unsigned kMostBadPackets = 20;
// The most memory one 'm' packet may ask for: its reply fits a packet.
constexpr std::uint64_t kMostMemoryRead = kMaxPacket / 2 - 16;

std::string Error(const std::string &why) { return "E." + why; }

std::string HexNumber(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "addr,length" in hex.
std::optional<std::pair<std::uint64_t, std::uint64_t>> AddressAndLength(std::string_view text) {
  const auto parts = SplitAt(text, ',');
  if (!parts) return std::nullopt;
  const auto address = ParseHexNumber(parts->first);
  const auto length = ParseHexNumber(parts->second);
  if (!address || !length) return std::nullopt;
  return std::pair{*address, *length};
}

}  // namespace

GdbServer::GdbServer(Phase phase, std::uint16_t port, std::filesystem::path symbolFile)
    : phase_(phase), symbolFile_(std::move(symbolFile)), listener_(std::in_place, port) {}

std::string GdbServer::Greeting() const {
  const std::string module = phase_ == Phase::Dxe ? "BoardDxe" : "BoardPei";
  std::string line = "boardsim: " + module + " waits for gdb at its entry point; in gdb type: target remote :" +
                     std::to_string(listener_ ? listener_->Port() : 0);
  if (!HasSymbolFile()) line += "\nboardsim: no symbol file " + symbolFile_.string() + "; gdb will show addresses only";
  return line;
}

bool GdbServer::HasSymbolFile() const {
  std::error_code error;
  return std::filesystem::is_regular_file(symbolFile_, error);
}

void GdbServer::WaitForClient() {
  client_.emplace(listener_->AcceptOne());
  listener_.reset();
}

void GdbServer::BeginBoot() {
  ++boots_;
  executed_ = 0;
  abandoned_ = false;
  pendingWatch_.reset();
}

void GdbServer::EndBoot(const std::optional<std::string> &stopped) {
  if (client_ && owed_) Send(stopped ? "X0b" : "W00");
  owed_ = false;
  client_.reset();
}

void GdbServer::Send(const std::string &payload) {
  if (client_ && !client_->Send(Frame(payload))) Drop("gdb went away");
}

void GdbServer::Console(const std::string &text) {
  // An 'O' packet is shown by gdb while it waits for the module to stop.
  for (std::size_t at = 0; at < text.size(); at += kMaxPacket / 4)
    Send("O" + ToHex(std::string_view(text).substr(at, kMaxPacket / 4)));
}

void GdbServer::Drop(const std::string &why) {
  if (!client_) return;
  client_.reset();
  std::cerr << "boardsim: " << why << "; the boot runs on to its end without the debugger\n";
  breakpoints_.clear();
  watchpoints_.clear();
  serviceBreaks_.clear();
  owed_ = false;
}

std::optional<GdbServer::WatchHit> GdbServer::WatchAt(bool write, GuestAddr address, unsigned size) const {
  for (const Watchpoint &watch : watchpoints_) {
    const bool kindMatches = watch.kind == WatchKind::Access || (watch.kind == WatchKind::Write) == write;
    if (kindMatches && address < watch.address + watch.length && watch.address < address + size)
      return WatchHit{watch.kind, watch.address};
  }
  return std::nullopt;
}

std::string GdbServer::WatchReply(const WatchHit &hit) {
  const char *kind = hit.kind == WatchKind::Write ? "watch" : hit.kind == WatchKind::Read ? "rwatch" : "awatch";
  return std::string("T05") + kind + ":" + HexNumber(hit.address) + ";";
}

void GdbServer::BeforeInstruction(emulated::DebugView &view, GuestAddr pc) {
  if (!client_ || abandoned_) return;
  const std::uint64_t position = executed_++;
  if (replay_) {
    // The access of the instruction before this one.
    const auto watch = std::exchange(pendingWatch_, std::nullopt);
    if (replay_->collect && position <= replay_->target) {
      if (watch) {
        replay_->lastEvent = position - 1;
        replay_->lastEventReply = WatchReply(*watch);
      }
      if (position < replay_->target && breakpoints_.contains(pc)) {
        replay_->lastEvent = position;
        replay_->lastEventReply = "T05swbreak:;";
      }
    }
    if (position != replay_->target) return;
    if (replay_->collect) {
      // Back to the last hit before where the reverse continue began, or to
      // the start of the boot if there was none.
      Replay next;
      next.target = replay_->lastEvent.value_or(0);
      next.reply = replay_->lastEvent ? replay_->lastEventReply : "T05replaylog:begin;";
      replay_ = std::move(next);
      abandoned_ = true;
      return;
    }
    const std::string reply = replay_->reply;
    replay_.reset();
    Stop(view, position, reply);
    return;
  }
  if (pendingWatch_) {
    const WatchHit hit = *std::exchange(pendingWatch_, std::nullopt);
    Stop(view, position, WatchReply(hit));
  } else if (stepping_) {
    Stop(view, position, "T05");
  } else if (breakpoints_.contains(pc)) {
    Stop(view, position, "T05swbreak:;");
  } else if (position % kInstructionsBetweenPolls == 0 && Interrupted()) {
    Stop(view, position, "T02");
  }
}

void GdbServer::AtEntryPage(emulated::DebugView &view, GuestAddr pc) {
  // Only a breakpoint stops here (gdb's finish from a function the board
  // called); a step steps over a service call, and a replay lands on the
  // module's own instructions.
  if (client_ && !abandoned_ && !replay_ && breakpoints_.contains(pc)) Stop(view, executed_, "T05swbreak:;");
}

void GdbServer::OnAccess(emulated::DebugView &, bool write, GuestAddr address, unsigned size) {
  if (!client_ || abandoned_ || watchpoints_.empty()) return;
  // Reported once the instruction has made its access.
  if (const auto hit = WatchAt(write, address, size)) pendingWatch_ = hit;
}

void GdbServer::OnServiceCall(emulated::DebugView &view, Service service, std::span<const std::uint64_t> arguments) {
  if (!client_ || abandoned_ || replay_ || !serviceBreaks_.contains(service)) return;
  std::string call =
      std::string(phase_ == Phase::Dxe ? "BoardDxe" : "BoardPei") + " calls " + InfoOf(service).name + "(";
  for (std::size_t i = 0; i < arguments.size(); ++i) call += (i ? ", 0x" : "0x") + HexNumber(arguments[i]);
  call += ")\n";
  if (owed_) Console(call);
  Stop(view, executed_, "T05");
}

void GdbServer::OnFault(emulated::DebugView &view, const std::string &why) {
  if (!client_ || abandoned_) return;
  replay_.reset();
  if (owed_) Console("boardsim: the boot stops here: " + why + "\n");
  Stop(view, executed_ > 0 ? executed_ - 1 : 0, "T0b");
}

bool GdbServer::Interrupted() {
  std::string bytes;
  if (client_->Receive(bytes, 0) == Connection::Received::Closed) {
    Drop("gdb went away");
    return false;
  }
  incoming_.clear();
  reader_.Feed(bytes, incoming_);
  return std::any_of(incoming_.begin(), incoming_.end(),
                     [](const Incoming &item) { return item.kind == Incoming::Kind::Interrupt; });
}

void GdbServer::Stop(emulated::DebugView &view, std::uint64_t position, const std::string &reply) {
  position_ = position;
  lastReply_ = reply;
  stepping_ = false;
  if (owed_) {
    Send(reply);
    owed_ = false;
  }
  std::string bytes;
  while (client_ && !abandoned_) {
    if (client_->Receive(bytes, -1) == Connection::Received::Closed) {
      Drop("gdb went away");
      return;
    }
    incoming_.clear();
    reader_.Feed(bytes, incoming_);
    bytes.clear();
    for (const Incoming &item : incoming_) {
      if (!client_) return;
      switch (item.kind) {
        case Incoming::Kind::Interrupt:
          continue;  // already stopped
        case Incoming::Kind::BadChecksum:
          client_->Send("-");
          break;
        case Incoming::Kind::Oversized:
          client_->Send("+");
          Send(Error("packet longer than " + std::to_string(kMaxPacket) + " bytes refused"));
          break;
        case Incoming::Kind::Packet:
          badInARow_ = 0;
          client_->Send("+");
          if (!Serve(view, item.payload)) return;
          continue;
      }
      if (++badInARow_ >= kMostBadPackets) {
        Drop("the gdb client sent " + std::to_string(kMostBadPackets) + " broken packets in a row");
        return;
      }
    }
  }
}

void GdbServer::ReplayTo(std::uint64_t target, std::string reply, bool collect) {
  replay_ = Replay{target, std::move(reply), collect, std::nullopt, {}};
  owed_ = true;
  abandoned_ = true;
}

bool GdbServer::Serve(emulated::DebugView &view, const std::string &packet) {
  const std::string_view p = packet;
  const auto resume = [&](bool step) {
    stepping_ = step;
    owed_ = true;
    return false;
  };
  if (p == "c" || StartsWith(p, "C") || p == "vCont;c" || StartsWith(p, "vCont;C")) return resume(false);
  if (p == "s" || StartsWith(p, "S") || StartsWith(p, "vCont;s") || StartsWith(p, "vCont;S")) return resume(true);
  if (StartsWith(p, "vCont;c:") || StartsWith(p, "vCont;C")) return resume(false);
  if (p == "bs") {
    if (position_ == 0) {
      Send("T05replaylog:begin;");
      return true;
    }
    ReplayTo(position_ - 1, "T05", false);
    return false;
  }
  if (p == "bc") {
    if (position_ == 0) {
      Send("T05replaylog:begin;");
      return true;
    }
    ReplayTo(position_, "", true);
    return false;
  }
  if (p == "D" || StartsWith(p, "D;")) {
    Send("OK");
    Drop("gdb detached");
    return false;
  }
  if (p == "k" || StartsWith(p, "vKill")) {
    if (p != "k") Send("OK");
    killed_ = true;
    abandoned_ = true;
    client_.reset();
    return false;
  }
  Send(Query(view, p));
  return true;
}

std::string GdbServer::Query(emulated::DebugView &view, std::string_view p) {
  if (p == "?") return lastReply_;
  if (StartsWith(p, "qSupported")) return std::string(kSupported) + (HasSymbolFile() ? ";qXfer:exec-file:read+" : "");
  if (p == "g") return ReadRegisters(view);
  if (StartsWith(p, "G")) return WriteRegisters(view, p.substr(1));
  if (StartsWith(p, "p")) return ReadOneRegister(view, p.substr(1));
  if (StartsWith(p, "P")) return WriteOneRegister(view, p.substr(1));
  if (StartsWith(p, "m")) return ReadMemory(view, p.substr(1));
  if (StartsWith(p, "M")) return WriteMemory(view, p.substr(1), false);
  if (StartsWith(p, "X")) return WriteMemory(view, p.substr(1), true);
  if (StartsWith(p, "Z")) return ChangePoint(p.substr(1), true);
  if (StartsWith(p, "z")) return ChangePoint(p.substr(1), false);
  if (StartsWith(p, "qXfer:")) return Xfer(p.substr(6));
  if (StartsWith(p, "qRcmd,")) return RunMonitor(p.substr(6));
  if (p == "vCont?") return "vCont;c;C;s;S";
  if (StartsWith(p, "H") || StartsWith(p, "T")) return "OK";  // one thread, always alive
  if (p == "qC") return "QC1";
  if (p == "qfThreadInfo") return "m1";
  if (p == "qsThreadInfo") return "l";
  if (p == "qAttached") return "1";
  if (StartsWith(p, "qSymbol")) return "OK";
  if (p == "qOffsets" && view.ModuleRelocation() != 0) {
    // Every section moved by the same distance. (For a module that runs
    // where it was linked, gdb is told nothing: its symbols stand as they are.)
    const std::string offset = HexNumber(view.ModuleRelocation());
    return "Text=" + offset + ";Data=" + offset + ";Bss=" + offset;
  }
  return "";  // not supported
}

std::string GdbServer::ReadRegisters(emulated::DebugView &view) {
  std::string hex;
  for (const RegisterDef &reg : RegistersOf(phase_)) {
    std::array<std::uint8_t, 16> bytes{};
    const std::span<std::uint8_t> value(bytes.data(), reg.bits / 8);
    if (reg.emulatorId != 0) view.ReadRegister(reg.emulatorId, value);
    hex += ToHex(value);
  }
  return hex;
}

std::string GdbServer::WriteRegisters(emulated::DebugView &view, std::string_view hex) {
  const auto bytes = FromHex(hex);
  if (!bytes) return Error("the register values are not hex");
  std::size_t at = 0;
  for (const RegisterDef &reg : RegistersOf(phase_)) {
    const std::size_t size = reg.bits / 8;
    if (at + size > bytes->size()) break;
    // The general registers; the x87 and SSE units stay as the module left them.
    if (std::string_view(reg.feature) == "core" && reg.bits <= 64 && reg.emulatorId != 0)
      view.WriteRegister(reg.emulatorId, std::span(bytes->data() + at, size));
    at += size;
  }
  return "OK";
}

std::string GdbServer::ReadOneRegister(emulated::DebugView &view, std::string_view number) {
  const auto n = ParseHexNumber(number);
  const auto registers = RegistersOf(phase_);
  if (!n || *n >= registers.size()) return Error("no register " + std::string(number));
  std::array<std::uint8_t, 16> bytes{};
  const std::span<std::uint8_t> value(bytes.data(), registers[*n].bits / 8);
  if (registers[*n].emulatorId != 0) view.ReadRegister(registers[*n].emulatorId, value);
  return ToHex(value);
}

std::string GdbServer::WriteOneRegister(emulated::DebugView &view, std::string_view assignment) {
  const auto parts = SplitAt(assignment, '=');
  const auto registers = RegistersOf(phase_);
  const auto n = parts ? ParseHexNumber(parts->first) : std::nullopt;
  const auto bytes = parts ? FromHex(parts->second) : std::nullopt;
  if (!n || *n >= registers.size() || !bytes || bytes->size() != registers[*n].bits / 8)
    return Error("a register write is Pn=value, with the register's full width in hex");
  if (registers[*n].emulatorId == 0 || !view.WriteRegister(registers[*n].emulatorId, *bytes))
    return Error(std::string("register ") + registers[*n].name + " cannot be written");
  return "OK";
}

std::string GdbServer::ReadMemory(emulated::DebugView &view, std::string_view request) {
  const auto range = AddressAndLength(request);
  if (!range) return Error("a memory read is m<address>,<length> in hex");
  if (range->second > kMostMemoryRead) return Error("at most " + std::to_string(kMostMemoryRead) + " bytes per read");
  std::vector<std::uint8_t> bytes(range->second);
  const std::size_t got = view.ReadMemory(range->first, bytes);
  if (got == 0 && !bytes.empty()) return "E14";
  bytes.resize(got);
  return ToHex(bytes);
}

std::string GdbServer::WriteMemory(emulated::DebugView &view, std::string_view request, bool binary) {
  const auto parts = SplitAt(request, ':');
  const auto range = parts ? AddressAndLength(parts->first) : std::nullopt;
  if (!range) return Error("a memory write is M<address>,<length>:<data>");
  const auto bytes = binary ? Unescape(parts->second) : FromHex(parts->second);
  if (!bytes || bytes->size() != range->second) return Error("the data does not match the length");
  if (bytes->empty()) return "OK";  // gdb's probe for X
  if (!view.WriteMemory(range->first, *bytes))
    return Error("only RAM can be written (not code, flash or the register windows) at 0x" + HexNumber(range->first));
  return "OK";
}

std::string GdbServer::ChangePoint(std::string_view request, bool insert) {
  // type,address,kind
  const auto first = SplitAt(request, ',');
  const auto rest = first ? SplitAt(first->second, ',') : std::nullopt;
  const auto address = rest ? ParseHexNumber(rest->first) : std::nullopt;
  const auto semicolon = rest ? rest->second.find(';') : std::string_view::npos;
  const auto length = rest ? ParseHexNumber(rest->second.substr(0, semicolon)) : std::nullopt;
  if (!address || !length || first->first.size() != 1) return Error("a breakpoint is Z<type>,<address>,<kind>");
  const char type = first->first[0];
  if (type == '0' || type == '1') {
    if (insert)
      breakpoints_.insert(*address);
    else
      breakpoints_.erase(*address);
    return "OK";
  }
  if (type < '2' || type > '4') return "";
  const auto kind = static_cast<WatchKind>(type - '0');
  if (insert) {
    if (*length == 0 || *length > 8) return Error("a watchpoint covers 1 to 8 bytes");
    watchpoints_.push_back({kind, *address, *length});
  } else {
    std::erase_if(watchpoints_,
                  [&](const Watchpoint &w) { return w.kind == kind && w.address == *address && w.length == *length; });
  }
  return "OK";
}

std::string GdbServer::Xfer(std::string_view request) {
  // object:read:annex:offset,length
  std::string document;
  std::string_view where;
  if (StartsWith(request, "features:read:target.xml:")) {
    document = TargetXml(phase_);
    where = request.substr(25);
  } else if (StartsWith(request, "exec-file:read:") && HasSymbolFile()) {
    // gdb reads the module's symbols from the file it takes for the
    // program's, then moves them to the load address (qOffsets).
    std::error_code error;
    document = std::filesystem::absolute(symbolFile_, error).string();
    const std::size_t annexEnd = request.find(':', 15);
    if (annexEnd == std::string_view::npos) return Error("a transfer is qXfer:exec-file:read:annex:offset,length");
    where = request.substr(annexEnd + 1);
  } else {
    return "";
  }
  const auto range = AddressAndLength(where);
  if (!range) return Error("a transfer is qXfer:object:read:annex:offset,length");
  if (range->first >= document.size()) return "l";
  const std::size_t length = std::min<std::uint64_t>(range->second, kMaxPacket / 2);
  const std::string part = document.substr(range->first, length);
  return (range->first + part.size() >= document.size() ? "l" : "m") + part;
}

std::string GdbServer::BreakService(std::string_view names) {
  std::string known;
  for (unsigned s = 0; s < static_cast<unsigned>(Service::Count); ++s)
    known += std::string(s ? ", " : "") + InfoOf(static_cast<Service>(s)).name;
  while (!names.empty() && names.front() == ' ') names.remove_prefix(1);
  if (names.empty()) {
    std::string list = "services that stop the module:";
    for (const Service s : serviceBreaks_) list += std::string(" ") + InfoOf(s).name;
    return list + (serviceBreaks_.empty() ? " none" : "") + "\n";
  }
  if (names == "none") {
    serviceBreaks_.clear();
    return "no service stops the module any more\n";
  }
  for (unsigned s = 0; s < static_cast<unsigned>(Service::Count); ++s)
    if (Lower(InfoOf(static_cast<Service>(s)).name) == Lower(names)) {
      serviceBreaks_.insert(static_cast<Service>(s));
      return "the module stops when it calls " + std::string(InfoOf(static_cast<Service>(s)).name) + "\n";
    }
  return "no service \"" + std::string(names) + "\"; the services are " + known + "\n";
}

std::string GdbServer::RunMonitor(std::string_view hexCommand) {
  const auto bytes = FromHex(hexCommand);
  if (!bytes) return Error("the monitor command is not hex");
  const std::string command(bytes->begin(), bytes->end());
  std::string text;
  if (command == "break-service" || StartsWith(command, "break-service ")) {
    text = BreakService(std::string_view(command).substr(13));
  } else if (const auto answer = monitor_ ? monitor_(command) : std::nullopt) {
    text = *answer;
  } else {
    text =
        "monitor commands: trace (the trace so far), board (the board summary), break-service NAME (stop when "
        "the module calls that service; none: no more), break-service (list)\n";
    if (!command.empty() && command != "help") text = "unknown monitor command \"" + command + "\"\n" + text;
  }
  Console(text);
  return "OK";
}

}  // namespace boardsim::gdb
