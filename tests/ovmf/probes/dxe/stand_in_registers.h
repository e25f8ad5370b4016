// Stand-in registers for QEMU, which has none of the board's: each 4 KiB page
// of a register window that BoardDxe reads (the PCH's LPC bridge, the GPP_K
// community, the four root-port bridges, the Ethernet controllers' config
// spaces and BARs) is aliased onto a RAM page holding the shipped board's
// answers, by editing the identity-mapped page tables the DXE core runs on.
#pragma once

#include "uefi/boot_services.h"

// Reports what it mapped; false if the page tables could not be edited.
bool MapShippedBoardRegisters(EFI_BOOT_SERVICES *bs);

// The Command register bytes of the four Ethernet controllers, as they are
// now (BoardDxe restores each one after reading the MAC address).
VOID ReportEthernetCommandRegisters();
