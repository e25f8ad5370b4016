// The DXE probe's report goes to the firmware console (ConOut), which OVMF
// sends to the serial port.
#pragma once

#include "../common/probe_report.h"
#include "uefi/boot_services.h"

// Set once by the application's entry point.
VOID UseConsoleOf(EFI_SYSTEM_TABLE *SystemTable);

// One report for the whole application, kept by the entry point: the
// stand-in services write into it from inside the driver's handlers, so
// every line lands in call order.
VOID UseReport(ProbeReport &report);
ProbeReport &Report();
