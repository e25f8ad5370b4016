// A gdb remote-protocol server for one phase's module on the emulated
// engine. It stops the module where gdb asks (breakpoints checked against
// the program counter, never written into the image; watchpoints on any
// guest address, register windows included), serves registers, memory, the
// module's symbol file and target description, and goes back in time by
// replaying the deterministic boot from its start to an earlier
// instruction. One boot after another runs under the same server: the
// caller starts a new boot whenever the last one was given up for a replay.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "sim/base/machine.h"
#include "sim/debug/gdb_socket.h"
#include "sim/engine/emulated/emulated_debug.h"
#include "sim/gdb/gdb_packet.h"

namespace boardsim::gdb {

class GdbServer final : public emulated::Debugger {
 public:
  // Listens on 127.0.0.1:port (0: any free port). symbolFile: the module's
  // DWARF file, offered to gdb as the program's file, placed where the
  // module was loaded.
  GdbServer(Phase phase, std::uint16_t port, std::filesystem::path symbolFile);

  // What to type in gdb to attach.
  std::string Greeting() const;
  void WaitForClient();

  // Answers a monitor command ("trace", "board") with its text, or nothing
  // if it knows no such command.
  using Monitor = std::function<std::optional<std::string>(std::string_view command)>;
  void SetMonitor(Monitor monitor) { monitor_ = std::move(monitor); }

  // Around each boot: the first, and each replay.
  void BeginBoot();
  // Whether the boot that ended was given up for a replay (run the next).
  bool ReplayPending() const { return replay_.has_value(); }
  // The boot ran to its end (stopped: why it ended early): gdb learns that
  // the program exited, and the session ends.
  void EndBoot(const std::optional<std::string> &stopped);
  bool Killed() const { return killed_; }
  // How many boots the session ran (the first and its replays).
  unsigned Boots() const { return boots_; }

  // emulated::Debugger
  void BeforeInstruction(emulated::DebugView &view, GuestAddr pc) override;
  void AtEntryPage(emulated::DebugView &view, GuestAddr pc) override;
  void OnAccess(emulated::DebugView &view, bool write, GuestAddr address, unsigned size) override;
  void OnServiceCall(emulated::DebugView &view, Service service, std::span<const std::uint64_t> arguments) override;
  void OnFault(emulated::DebugView &view, const std::string &why) override;
  bool Abandoned() const override { return abandoned_; }

 private:
  enum class WatchKind : std::uint8_t { Write = 2, Read = 3, Access = 4 };
  struct Watchpoint {
    WatchKind kind;
    GuestAddr address;
    std::uint64_t length;
  };
  struct WatchHit {
    WatchKind kind;
    GuestAddr address;
  };
  // A replay under way: run silently to instruction `target`, then stop and
  // answer `reply`. A reverse continue first replays up to where it started
  // (`collect`), noting the last breakpoint or watchpoint hit before it.
  struct Replay {
    std::uint64_t target = 0;
    std::string reply;
    bool collect = false;
    std::optional<std::uint64_t> lastEvent;
    std::string lastEventReply;
  };

  // Stopped: tells gdb (if it waits for a stop) and serves its packets until
  // it resumes, detaches, kills or asks to go back.
  void Stop(emulated::DebugView &view, std::uint64_t position, const std::string &reply);
  // One packet while stopped; false once gdb resumed the module.
  bool Serve(emulated::DebugView &view, const std::string &packet);
  std::string Query(emulated::DebugView &view, std::string_view packet);
  std::string ReadRegisters(emulated::DebugView &view);
  std::string WriteRegisters(emulated::DebugView &view, std::string_view hex);
  std::string ReadOneRegister(emulated::DebugView &view, std::string_view number);
  std::string WriteOneRegister(emulated::DebugView &view, std::string_view assignment);
  std::string ReadMemory(emulated::DebugView &view, std::string_view request);
  std::string WriteMemory(emulated::DebugView &view, std::string_view request, bool binary);
  std::string ChangePoint(std::string_view request, bool insert);
  std::string Xfer(std::string_view request);
  bool HasSymbolFile() const;
  std::string RunMonitor(std::string_view hexCommand);
  std::string BreakService(std::string_view names);
  // Goes back to `target`: gives up this boot; the next one stops there.
  void ReplayTo(std::uint64_t target, std::string reply, bool collect);
  // Replies with the stop reply of the last stop.
  std::optional<WatchHit> WatchAt(bool write, GuestAddr address, unsigned size) const;
  static std::string WatchReply(const WatchHit &hit);
  // Reads what gdb sent while the module runs, for its Ctrl-C.
  bool Interrupted();
  void Send(const std::string &payload);
  void Console(const std::string &text);
  void Drop(const std::string &why);

  Phase phase_;
  std::filesystem::path symbolFile_;
  std::optional<Listener> listener_;
  std::optional<Connection> client_;
  PacketReader reader_;
  std::vector<Incoming> incoming_;
  Monitor monitor_;

  std::unordered_set<GuestAddr> breakpoints_;
  std::vector<Watchpoint> watchpoints_;
  std::set<Service> serviceBreaks_;

  unsigned boots_ = 0;
  std::uint64_t executed_ = 0;  // instructions of the module begun in this boot
  std::uint64_t position_ = 0;  // of the last stop
  std::string lastReply_ = "S05";
  bool owed_ = false;     // gdb waits for a stop reply
  bool stepping_ = true;  // the first instruction stops
  std::optional<WatchHit> pendingWatch_;
  std::optional<Replay> replay_;
  bool abandoned_ = false;
  bool killed_ = false;
  unsigned badInARow_ = 0;
};

}  // namespace boardsim::gdb
