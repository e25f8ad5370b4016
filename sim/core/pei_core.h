// A model of the PEI core as BoardPei meets it: the PEI services table, the
// PPI database, PEI pool, the interrupt descriptor table whose preceding word
// leads to the services table pointer, and PCD_PPI with its token store.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/base/machine.h"
#include "sim/base/trace.h"
#include "sim/board/board_config.h"
#include "sim/core/failure_plan.h"

namespace boardsim {

// Ways a faulty PEI core can report success yet hand back nothing.
enum class PeiCoreQuirk : std::uint8_t {
  None,
  NullPoolBuffer,      // AllocatePool succeeds without a buffer
  NullIdtWord,         // the word below the IDT base is 0
  NullServicesViaIdt,  // the word leads to a services table pointer that is NULL
};

class PeiCore {
 public:
  struct InstalledPpi {
    Guid guid;
    GuestAddr descriptor = 0;
    GuestAddr ppi = 0;
    bool byModule = false;
  };

  // separateEntryPointer: hand the module's entry a services-pointer cell
  // other than the one the IDT word leads to (both reach the same table),
  // so that a test can tell which one a lookup went through.
  PeiCore(const BoardConfig &board, Machine &machine, Trace &trace, FailurePlan &failures,
          bool separateEntryPointer = false);

  // The second argument of the module's entry point.
  GuestAddr EntryServicesPointer() const { return entryCell_; }
  // The cell the word below the IDT base points at.
  GuestAddr IdtServicesPointer() const { return idtCell_; }
  GuestAddr IdtBase() const { return idtBase_; }

  std::uint64_t Call(Service service, std::span<const std::uint64_t> arguments);
  // Takes effect at once; the module's entry keeps its own services pointer.
  void SetQuirk(PeiCoreQuirk quirk);

  const std::vector<InstalledPpi> &Ppis() const { return ppis_; }
  std::optional<GuestAddr> FindPpi(const Guid &guid) const;
  // PCD values set through PCD_PPI, by token number.
  const std::map<std::uint64_t, std::vector<std::uint8_t>> &PcdTokens() const { return pcd_; }
  // Services-pointer arguments LocatePpi received, in order.
  const std::vector<GuestAddr> &LocatePpiServiceArguments() const { return locateArguments_; }
  // Bytes of PEI pool handed out (PEI pool is never freed).
  std::size_t PoolBytes() const { return poolBytes_; }

 private:
  void BuildTables(bool separateEntryPointer);
  std::string DescribeServicesArgument(GuestAddr services) const;
  std::string DescribeList(GuestAddr list);
  std::uint64_t InstallPpi(GuestAddr list);
  std::uint64_t LocatePpi(const Guid &guid, std::uint64_t instance, GuestAddr descriptorOut, GuestAddr ppiOut);
  std::uint64_t AllocatePool(std::uint64_t size, GuestAddr bufferOut, std::string &detail);
  std::uint64_t SetPointer(std::uint64_t token, GuestAddr sizeInOut, GuestAddr buffer, std::string &detail);

  const BoardConfig &board_;
  Machine &machine_;
  GuestMemory &memory_;
  Trace &trace_;
  FailurePlan &failures_;

  GuestAddr servicesTable_ = 0;
  GuestAddr idtCell_ = 0;
  GuestAddr entryCell_ = 0;
  GuestAddr idtBase_ = 0;
  std::vector<InstalledPpi> ppis_;
  std::map<std::uint64_t, std::vector<std::uint8_t>> pcd_;
  std::vector<GuestAddr> locateArguments_;
  std::size_t poolBytes_ = 0;
  PeiCoreQuirk quirk_ = PeiCoreQuirk::None;
};

}  // namespace boardsim
