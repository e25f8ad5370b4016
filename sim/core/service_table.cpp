#include "sim/core/service_table.h"

namespace boardsim {

GuestAddr BuildServiceTable(Machine &machine, ServiceTable table, unsigned slots,
                            std::span<const std::pair<unsigned, Service>> filled) {
  GuestMemory &memory = machine.Memory();
  const unsigned pointer = memory.PointerSize();
  const GuestAddr address = memory.Allocate(slots * pointer);
  for (unsigned slot = 0; slot < slots; ++slot)
    memory.WritePointer(address + slot * pointer, machine.UnexpectedEntry(table, slot));
  for (const auto &[slot, service] : filled)
    memory.WritePointer(address + slot * pointer, machine.ServiceEntry(service));
  return address;
}

}  // namespace boardsim
