// One simulated boot of the board: the PEI phase with BoardPei, then the DXE
// phase with BoardDxe, the outside services arriving, ReadyToBoot, and the
// consumers of the board's interfaces. Every call either module makes lands
// here and goes to the model that serves it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/base/machine.h"
#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/core/dxe_core.h"
#include "sim/core/dxe_pcd.h"
#include "sim/core/failure_plan.h"
#include "sim/core/outside_services.h"
#include "sim/core/pei_core.h"
#include "sim/hw/hardware_model.h"

namespace boardsim {

struct BootOptions {
  // Hand BoardPei's entry a services pointer other than the one the IDT word
  // leads to (both reach the same table).
  bool separatePeiEntryPointer = false;
};

// What a consumer learns from BOARD_HOOK_PROTOCOL's constant members; a
// member that is empty (NULL) has no answer.
struct HookAnswers {
  std::array<std::optional<std::uint64_t>, 8> members;
};

// One MAC list as the query filled it.
struct MacList {
  std::uint8_t count = 0;
  std::vector<std::array<std::uint8_t, 6>> addresses;
};

// The list at `at` of a caller's buffer: its count byte, then as many
// six-byte addresses as it counts and the buffer holds.
MacList ReadMacList(const std::vector<std::uint8_t> &bytes, std::size_t at);

struct LanMacResult {
  std::uint64_t status = 0;
  MacList first;                     // at Buffer + 3
  MacList second;                    // at Out
  std::vector<std::uint8_t> buffer;  // the whole caller buffers afterwards
  std::vector<std::uint8_t> out;
};

struct PpiAnswers {
  std::array<std::optional<std::uint64_t>, 10> members;  // boolean members
  std::uint64_t boardInfoStatus = 0;
  std::array<std::uint8_t, 4> info{};
  std::uint8_t flag = 0;
};

class Boot final : public ServiceHub {
 public:
  Boot(BoardConfig board, Engine &engine, BootOptions options = {});
  ~Boot() override;
  Boot(const Boot &) = delete;
  Boot &operator=(const Boot &) = delete;

  // PEI: loads BoardPei and runs its entry point (PCD_PPI is already there
  // when the board has it). Returns the entry's status.
  std::uint64_t RunPei();
  // DXE: loads BoardDxe and runs its entry point. Returns the entry's status.
  std::uint64_t LoadDxe();
  // Other components install their services, at TPL_APPLICATION.
  void InstallSetupStringService();
  void InstallSmbiosService();
  void InstallPortLocator();
  void SignalReadyToBoot();

  // Consumers of the board's interfaces, calling as another module would.
  std::optional<HookAnswers> CallHookMembers();
  // Calls the LAN MAC query with fresh caller buffers (filled with 0xA5 so
  // untouched bytes show).
  std::optional<LanMacResult> QueryLanMacs();
  // Calls the query with the given guest pointers.
  std::uint64_t CallLanMacQuery(GuestAddr buffer, GuestAddr out);
  std::optional<PpiAnswers> CallPpiMembers();

  // The boot as the simulator runs it by default: PEI, then BoardDxe with
  // the port locator present, the Setup string and SMBIOS services arriving
  // after the entry, ReadyToBoot.
  void RunDefaultSequence();

  // Problems seen: unexpected calls or accesses, pool misuse, guest faults,
  // pool still allocated.
  std::vector<std::string> Problems() const;
  // Instructions executed by each call into an image, where counted.
  const std::vector<std::pair<std::string, std::uint64_t>> &Instructions() const { return instructions_; }

  const BoardConfig &Board() const { return board_; }
  Trace &GetTrace() { return trace_; }
  HardwareModel &Hardware() { return hardware_; }
  DxeCore &Dxe() { return *dxe_; }
  PeiCore &Pei() { return *pei_; }
  OutsideServices &Services() { return *services_; }
  DxePcd &Pcd() { return *pcd_; }
  Machine &DxeMachine() { return *dxeMachine_; }
  Machine &PeiMachine() { return *peiMachine_; }
  FailurePlan &Failures() { return failures_; }
  std::optional<std::uint64_t> PeiStatus() const { return peiStatus_; }
  std::optional<std::uint64_t> DxeStatus() const { return dxeStatus_; }

  std::uint64_t Dispatch(Service service, std::span<const std::uint64_t> arguments) override;
  std::uint64_t UnexpectedCall(ServiceTable table, unsigned slot) override;

 private:
  std::uint64_t CallImage(Machine &machine, const std::string &what, GuestAddr function, Signature signature,
                          std::span<const std::uint64_t> arguments);
  // The interface a consumer found, unless it is NULL: that is reported
  // as a problem, and the consumer calls nothing.
  std::optional<GuestAddr> CallableInterface(std::optional<GuestAddr> interface, const char *name);

  BoardConfig board_;
  BootOptions options_;
  Trace trace_;
  FailurePlan failures_;
  HardwareModel hardware_;
  std::unique_ptr<Machine> peiMachine_;
  std::unique_ptr<Machine> dxeMachine_;
  std::unique_ptr<PeiCore> pei_;
  std::unique_ptr<DxeCore> dxe_;
  std::unique_ptr<OutsideServices> services_;
  std::unique_ptr<DxePcd> pcd_;
  std::optional<std::uint64_t> peiStatus_;
  std::optional<std::uint64_t> dxeStatus_;
  std::vector<std::pair<std::string, std::uint64_t>> instructions_;
};

}  // namespace boardsim
