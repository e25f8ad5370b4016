// What the emulated machine says when guest code stops where it should not:
// the access or exception, and where in the images or the board's memory it
// happened.
#include "sim/engine/emulated/emulated_calls.h"
#include "sim/engine/emulated/emulated_layout.h"
#include "sim/engine/emulated/emulated_machine.h"
#include "sim/engine/emulated/emulated_trap_page.h"
#include "sim/hw/hardware_model.h"
#include "sim/image/byte_reader.h"

namespace boardsim {
namespace {

using namespace emulated;
using boardimage::Hex;

const char *ExceptionName(std::uint32_t number) {
  switch (number) {
    case 0:
      return "divide error";
    case 3:
      return "breakpoint (int3)";
    case 6:
      return "invalid opcode";
    case 13:
      return "general protection";
    case 14:
      return "page fault";
    default:
      return "interrupt";
  }
}

const char *AccessVerb(uc_mem_type type) {
  switch (type) {
    case UC_MEM_READ_UNMAPPED:
    case UC_MEM_READ_PROT:
      return "read";
    case UC_MEM_WRITE_UNMAPPED:
    case UC_MEM_WRITE_PROT:
      return "write";
    default:
      return "fetch";
  }
}

}  // namespace

std::string EmulatedMachine::WhereCodeRan(GuestAddr pc) const { return HexAddress(pc) + " (" + Describe(pc) + ")"; }

std::string EmulatedMachine::FaultText(const Fault &fault, GuestAddr pc) const {
  const std::string verb = AccessVerb(fault.type);
  const std::string target = HexAddress(fault.address) + " (" + Describe(fault.address) + ")";
  const MappedRegion *region = memory_->RegionAt(fault.address);
  std::string why = "unmapped memory";
  if (region != nullptr && verb == "fetch") {
    why = "memory that is not code";
  } else if (region != nullptr) {
    switch (region->kind) {
      case RegionKind::Flash:
        why = "read-only flash";
        break;
      case RegionKind::Image:
        why = "a read-only section";
        break;
      case RegionKind::Traps:
        why = "the service entry page";
        break;
      default:
        why = "protected memory";
        break;
    }
  }
  if (verb == "fetch")
    return "execution reached " + target + ", " + why + ", after the block at " + WhereCodeRan(lastBlock_);
  const std::string access = verb == "write" ? "write of " +
                                                   Hex(Truncate(static_cast<std::uint64_t>(fault.value),
                                                                fault.size >= 8   ? Width::Bits64
                                                                : fault.size == 4 ? Width::Bits32
                                                                : fault.size == 2 ? Width::Bits16
                                                                                  : Width::Bits8,
                                                                8)) +
                                                   " to "
                                             : "read from ";
  return std::to_string(fault.size) + "-byte " + access + target + ", " + why + ", by the instruction at " +
         WhereCodeRan(pc);
}

void EmulatedMachine::ThrowStop(uc_err error, GuestAddr pc) {
  const std::string phase = phase_ == Phase::Dxe ? "BoardDxe: " : "BoardPei: ";
  std::string message;
  GuestAddr at = pc;
  if (fault_) {
    message = phase + FaultText(*fault_, faultPc_);
    at = faultPc_;
  } else if (interrupt_) {
    message = phase + "CPU exception " + std::to_string(interrupt_->number) + " (" + ExceptionName(interrupt_->number) +
              ") at " + WhereCodeRan(interrupt_->pc);
    at = interrupt_->pc;
  } else if (error == UC_ERR_INSN_INVALID) {
    message = phase + "invalid instruction at " + WhereCodeRan(pc);
  } else {
    message = phase + "the CPU emulator stopped (" + uc_strerror(error) + ") at " + WhereCodeRan(pc);
  }
  RecordFault(message, at);
  throw EmulationFault(message);
}

std::string EmulatedMachine::Describe(GuestAddr address) const {
  if (loaded_)
    if (auto inImage = loaded_->Describe(address)) return *inImage;
  const MappedRegion *region = memory_->RegionAt(address);
  if (region == nullptr) return "unmapped";
  const std::string offset = "+" + Hex(address - region->base);
  switch (region->kind) {
    case RegionKind::Traps: {
      const unsigned at = static_cast<unsigned>(address - kTrapPage);
      if (address == kSentinel) return "the return sentinel";
      if (at < static_cast<unsigned>(Service::Count))
        return std::string("the entry of ") + InfoOf(static_cast<Service>(at)).name;
      for (const auto &table : kTrapTables)
        if (at >= table.offset && at < table.offset + table.slots)
          return "unfilled slot " + std::to_string(at - table.offset) + " of " + TableName(table.table);
      return "the service entry page" + offset;
    }
    case RegionKind::Code:
      return "scratch code" + offset;
    case RegionKind::Ram:
      return "heap" + offset;
    case RegionKind::Stack:
      return "stack" + offset;
    case RegionKind::Flash:
      return "boot flash" + offset + " (erased)";
    case RegionKind::Image:
      return "image memory" + offset;
    case RegionKind::Registers:
      for (const auto &window : hardware_->Windows())
        if (address >= window.base && address - window.base < window.size)
          return window.name + " window+" + Hex(address - window.base);
      return "unclaimed MMIO";
  }
  return "unmapped";
}

}  // namespace boardsim
