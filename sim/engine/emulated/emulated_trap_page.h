// The trap page: one byte per service and per slot of each table guest code
// finds services in, each an int3 that hands the call to the machine, and the
// sentinel that calls return to.
#pragma once

#include <array>

#include "board/outside_protocols.h"
#include "pi/pcd_ppi.h"
#include "pi/pei_services.h"
#include "sim/base/services.h"
#include "sim/engine/emulated/emulated_layout.h"
#include "uefi/boot_services.h"

namespace boardsim::emulated {

// Where each kind of trap entry lies on the trap page.
struct TrapTable {
  ServiceTable table;
  unsigned offset;
  unsigned slots;
};
template <class Table>
constexpr unsigned SlotsOf() {
  return static_cast<unsigned>(sizeof(Table) / sizeof(VOID *));
}
inline constexpr std::array<TrapTable, 6> kTrapTables = {{
    {ServiceTable::BootServices, 0x100, static_cast<unsigned>(kBootServicesCount)},
    {ServiceTable::SetupString, 0x200, SlotsOf<SETUP_STRING_PROTOCOL>()},
    {ServiceTable::Smbios, 0x210, SlotsOf<SMBIOS_TABLE_PROTOCOL>()},
    {ServiceTable::DxePcd, 0x220, kDxePcdMemberCount},
    {ServiceTable::PeiServices, 0x300, static_cast<unsigned>(kPeiServicesCount)},
    {ServiceTable::PcdPpi, 0x400, static_cast<unsigned>(kPcdPpiMemberCount)},
}};
// The sentinel has the page after the entries to itself: the emulator drops
// the translations of its exit's page at every start, and the entries'
// translations are worth keeping.
inline constexpr GuestAddr kSentinel = kTrapPage + kPageSize;
static_assert(static_cast<unsigned>(Service::Count) <= kTrapTables[0].offset);
static_assert(kTrapTables[0].offset + kTrapTables[0].slots <= kTrapTables[1].offset);
static_assert(kTrapTables[1].offset + kTrapTables[1].slots <= kTrapTables[2].offset);
static_assert(kTrapTables[2].offset + kTrapTables[2].slots <= kTrapTables[3].offset);
static_assert(kTrapTables[3].offset + kTrapTables[3].slots <= kTrapTables[4].offset);
static_assert(kTrapTables[4].offset + kTrapTables[4].slots <= kTrapTables[5].offset);
static_assert(kTrapTables[5].offset + kTrapTables[5].slots <= kPageSize);

}  // namespace boardsim::emulated
