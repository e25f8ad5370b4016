#include "sim/core/pei_core.h"

#include <cstdio>

#include "pi/pcd_ppi.h"
#include "pi/pei_services.h"
#include "sim/base/board_text.h"
#include "sim/base/status_names.h"
#include "sim/core/known_guids.h"
#include "uefi/status.h"

namespace boardsim {
namespace {

// BoardPei is an IA-32 module: a status it gets from a service is 32 bits,
// the error bit at 31, on either engine (a host-built module gets the same
// value widened). An injected 64-bit status reaches it in that form.
std::uint64_t PeiStatusFor(std::uint64_t status, unsigned pointerSize) {
  return StatusForGuest(StatusFromGuest(StatusForGuest(status, 4), 4), pointerSize);
}

constexpr std::uint64_t kPeiServicesSignature = 0x5652455320494550ull;  // "PEI SERV"
constexpr std::uint64_t kTerminateList = EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
constexpr std::uint64_t kPpiFlag = EFI_PEI_PPI_DESCRIPTOR_PPI;
constexpr unsigned kIdtEntries = 256;
constexpr unsigned kMaxDescriptors = 64;
// A PCD token holds at most the size the platform declares for it (the
// board's peiPcdSizes); undeclared tokens take up to a page.
constexpr std::uint64_t kUndeclaredPcdSize = 0x1000;

std::uint64_t PcdTokenCapacity(const BoardConfig &board, std::uint64_t token) {
  const auto declared =
      token <= 0xFFFFFFFF ? board.peiPcdSizes.find(static_cast<std::uint32_t>(token)) : board.peiPcdSizes.end();
  return declared == board.peiPcdSizes.end() ? kUndeclaredPcdSize : declared->second;
}

// PEI services the model fills, by slot after the table header.
constexpr std::pair<unsigned, Service> kPeiSlots[] = {
    {0, Service::PeiInstallPpi},
    {2, Service::PeiLocatePpi},
    {13, Service::PeiAllocatePool},
};

}  // namespace

PeiCore::PeiCore(const BoardConfig &board, Machine &machine, Trace &trace, FailurePlan &failures,
                 bool separateEntryPointer)
    : board_(board), machine_(machine), memory_(machine.Memory()), trace_(trace), failures_(failures) {
  BuildTables(separateEntryPointer);
}

void PeiCore::BuildTables(bool separateEntryPointer) {
  const unsigned pointer = memory_.PointerSize();
  const std::size_t header = 24;
  servicesTable_ = memory_.Allocate(header + kPeiServicesCount * pointer);
  memory_.Write64(servicesTable_, kPeiServicesSignature);
  memory_.Write32(servicesTable_ + 12, static_cast<std::uint32_t>(header + kPeiServicesCount * pointer));
  for (unsigned slot = 0; slot < kPeiServicesCount; ++slot)
    memory_.WritePointer(servicesTable_ + header + slot * pointer,
                         machine_.UnexpectedEntry(ServiceTable::PeiServices, slot));
  for (const auto &[slot, service] : kPeiSlots)
    memory_.WritePointer(servicesTable_ + header + slot * pointer, machine_.ServiceEntry(service));

  idtCell_ = memory_.Allocate(pointer);
  memory_.WritePointer(idtCell_, servicesTable_);
  entryCell_ = idtCell_;
  if (separateEntryPointer) {
    entryCell_ = memory_.Allocate(pointer);
    memory_.WritePointer(entryCell_, servicesTable_);
  }

  // The IDT, with the word just below its base holding the address of the
  // services table pointer, as the PEI core of this architecture keeps it.
  const std::size_t gate = 2 * static_cast<std::size_t>(pointer);
  const GuestAddr idtBlock = memory_.Allocate(16 + kIdtEntries * gate);
  idtBase_ = idtBlock + 16;
  memory_.WritePointer(idtBase_ - pointer, idtCell_);
  machine_.SetIdtBase(idtBase_);

  if (board_.pcdPpi) {
    const GuestAddr pcd = memory_.Allocate(kPcdPpiMemberCount * pointer);
    for (unsigned slot = 0; slot < kPcdPpiMemberCount; ++slot)
      memory_.WritePointer(pcd + slot * pointer, machine_.UnexpectedEntry(ServiceTable::PcdPpi, slot));
    memory_.WritePointer(pcd + kPcdPpiSetPointerIndex * pointer, machine_.ServiceEntry(Service::PcdSetPointer));
    const GuestAddr guid = memory_.AllocateGuid(PcdPpiGuid());
    const GuestAddr descriptor = memory_.Allocate(3 * pointer);
    memory_.WritePointer(descriptor, kPpiFlag | kTerminateList);
    memory_.WritePointer(descriptor + pointer, guid);
    memory_.WritePointer(descriptor + 2 * pointer, pcd);
    ppis_.push_back({PcdPpiGuid(), descriptor, pcd, false});
    trace_.Event("PCD_PPI installed by the PEI core");
  }
}

void PeiCore::SetQuirk(PeiCoreQuirk quirk) {
  quirk_ = quirk;
  const unsigned pointer = memory_.PointerSize();
  if (quirk == PeiCoreQuirk::NullIdtWord) memory_.WritePointer(idtBase_ - pointer, 0);
  if (quirk == PeiCoreQuirk::NullServicesViaIdt) {
    // A cell of its own, so the entry's services pointer still reaches the table.
    idtCell_ = memory_.Allocate(pointer);
    memory_.WritePointer(idtCell_, 0);
    memory_.WritePointer(idtBase_ - pointer, idtCell_);
  }
}

std::string PeiCore::DescribeServicesArgument(GuestAddr services) const {
  if (services == idtCell_) return "services via IDT";
  if (services == entryCell_) return "services via entry argument";
  return "unknown services pointer";
}

std::uint64_t PeiCore::Call(Service service, std::span<const std::uint64_t> a) {
  const unsigned pointer = memory_.PointerSize();
  const char *name = InfoOf(service).name;
  std::string text = name;
  std::optional<Guid> guid;
  switch (service) {
    case Service::PeiInstallPpi:
      text += "(" + DescribeList(a[1]) + ")";
      break;
    case Service::PeiLocatePpi:
      guid = memory_.ReadGuid(a[1]);
      locateArguments_.push_back(a[0]);
      text +=
          "(" + GuidName(*guid) + ", instance " + std::to_string(a[2]) + ", " + DescribeServicesArgument(a[0]) + ")";
      break;
    case Service::PeiAllocatePool:
      text += "(" + std::to_string(a[1]) + " bytes)";
      break;
    case Service::PcdSetPointer:
      text += "(token " + Hex(a[0]) + ")";
      break;
    default:
      break;
  }
  const std::size_t call = trace_.Call(text);
  const InjectedCall injection(failures_, name, text);
  if (const auto error = injection.Error(trace_, call)) {
    return PeiStatusFor(*error, pointer);
  }
  std::uint64_t status = EFI_SUCCESS;
  std::string detail;
  switch (service) {
    case Service::PeiInstallPpi:
      status = InstallPpi(a[1]);
      break;
    case Service::PeiLocatePpi:
      status = LocatePpi(*guid, a[2], a[3], a[4]);
      break;
    case Service::PeiAllocatePool:
      status = AllocatePool(a[1], a[2], detail);
      break;
    case Service::PcdSetPointer:
      status = SetPointer(a[0], a[1], a[2], detail);
      break;
    default:
      status = EFI_UNSUPPORTED;
      break;
  }
  status = injection.Finish(status, detail);
  trace_.Complete(call, StatusName(status) + detail);
  return PeiStatusFor(status, pointer);
}

std::string PeiCore::DescribeList(GuestAddr list) {
  const unsigned pointer = memory_.PointerSize();
  std::string names;
  try {
    for (unsigned i = 0; i < kMaxDescriptors; ++i) {
      const GuestAddr descriptor = list + i * 3 * pointer;
      names += (names.empty() ? "" : ", ") + GuidName(memory_.ReadGuid(memory_.ReadPointer(descriptor + pointer)));
      if ((memory_.ReadPointer(descriptor) & kTerminateList) != 0) return names;
    }
  } catch (const GuestFault &fault) {
    return names + (names.empty() ? "" : ", ") + "unreadable descriptor: " + fault.what();
  }
  return names + ", ... (no terminating descriptor)";
}

std::uint64_t PeiCore::InstallPpi(GuestAddr list) {
  if (list == 0) return EFI_INVALID_PARAMETER;
  const unsigned pointer = memory_.PointerSize();
  std::vector<InstalledPpi> adding;
  for (unsigned i = 0; i < kMaxDescriptors; ++i) {
    const GuestAddr descriptor = list + i * 3 * pointer;
    const std::uint64_t flags = memory_.ReadPointer(descriptor);
    if ((flags & kPpiFlag) == 0) return EFI_INVALID_PARAMETER;
    const GuestAddr guid = memory_.ReadPointer(descriptor + pointer);
    adding.push_back({memory_.ReadGuid(guid), descriptor, memory_.ReadPointer(descriptor + 2 * pointer), true});
    if ((flags & kTerminateList) != 0) {
      ppis_.insert(ppis_.end(), adding.begin(), adding.end());
      return EFI_SUCCESS;
    }
  }
  return EFI_INVALID_PARAMETER;
}

std::uint64_t PeiCore::LocatePpi(const Guid &guid, std::uint64_t instance, GuestAddr descriptorOut, GuestAddr ppiOut) {
  if (ppiOut == 0) return EFI_INVALID_PARAMETER;
  std::uint64_t seen = 0;
  for (const auto &ppi : ppis_) {
    if (ppi.guid != guid || seen++ != instance) continue;
    if (descriptorOut != 0) memory_.WritePointer(descriptorOut, ppi.descriptor);
    memory_.WritePointer(ppiOut, ppi.ppi);
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

std::uint64_t PeiCore::AllocatePool(std::uint64_t size, GuestAddr bufferOut, std::string &detail) {
  if (bufferOut == 0) return EFI_INVALID_PARAMETER;
  if (size > 0xFFFF) return EFI_OUT_OF_RESOURCES;  // PEI pool blocks live in a HOB
  if (quirk_ == PeiCoreQuirk::NullPoolBuffer) {
    memory_.WritePointer(bufferOut, 0);
    detail = ", NULL buffer";
    return EFI_SUCCESS;
  }
  memory_.WritePointer(bufferOut, memory_.Allocate(size == 0 ? 1 : size));
  poolBytes_ += size;
  return EFI_SUCCESS;
}

std::uint64_t PeiCore::SetPointer(std::uint64_t token, GuestAddr sizeInOut, GuestAddr buffer, std::string &detail) {
  if (sizeInOut == 0 || buffer == 0) return EFI_INVALID_PARAMETER;
  const std::uint64_t size = memory_.ReadPointer(sizeInOut);
  // As a real PCD service does, a value larger than the token refuses the
  // set and hands the token's size back to the caller.
  if (const std::uint64_t capacity = PcdTokenCapacity(board_, token); size > capacity) {
    memory_.WritePointer(sizeInOut, capacity);
    detail = ", " + std::to_string(size) + " bytes for a token of " + std::to_string(capacity);
    return EFI_INVALID_PARAMETER;
  }
  pcd_[token] = memory_.ReadBytes(buffer, size);
  detail = ", " + std::to_string(size) + " bytes";
  return EFI_SUCCESS;
}

std::optional<GuestAddr> PeiCore::FindPpi(const Guid &guid) const {
  for (const auto &ppi : ppis_)
    if (ppi.guid == guid) return ppi.ppi;
  return std::nullopt;
}

}  // namespace boardsim
