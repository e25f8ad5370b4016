// The DXE probe: BOOTX64.EFI, started by the boot manager after BoardDxe has
// been dispatched by the DXE core. It plays the rest of the platform: it
// installs the board-firmware services BoardDxe waits for (so its handlers
// run on the real core), then calls every member of BOARD_HOOK_PROTOCOL as
// a consumer would, reports everything on the console and powers off.
#include "boot_service_watch.h"
#include "probe_console.h"
#include "stand_in_registers.h"
#include "stand_in_services.h"

namespace {

constexpr EFI_GUID kBoardHookProtocolGuid = {
    0x6B588D7C, 0xC72E, 0x4A78, {0x88, 0x58, 0x77, 0xE1, 0xDA, 0x8F, 0xC7, 0xF7}};
constexpr UINTN kBoardHookMembers = 8;
constexpr UINTN kBooleanMembers[] = {0, 2, 5};
constexpr UINTN kValueMembers[] = {1, 6};
constexpr UINTN kLanMacQueryMember = 4;

using BooleanMember = BOOLEAN(EFIAPI *)();
using ValueMember = UINT64(EFIAPI *)();
using LanMacQueryMember = EFI_STATUS(EFIAPI *)(UINT8 *Buffer, UINT8 *Out);

// Runtime services: ResetSystem is the eleventh service after the header.
constexpr UINTN kResetSystemOffset = 24 + 10 * 8;
constexpr UINT32 kEfiResetShutdown = 2;
using ResetSystemService = VOID(EFIAPI *)(UINT32 ResetType, EFI_STATUS ResetStatus, UINTN DataSize, VOID *Data);

VOID ReportInstall(const CHAR8 *what, EFI_STATUS status) {
  Report().Text("installed ").Text(what).Text(" = ").Hex(status, 16).End();
}

// Each installation signals BoardDxe's arrival events; the core runs their
// handlers at TPL_CALLBACK before InstallProtocolInterface returns. A second
// installation must find the handlers closed.
VOID RunArrivalHandlers(EFI_BOOT_SERVICES *bs) {
  ReportInstall("PORT_LOCATOR_PROTOCOL", InstallPortLocatorStandIn(bs));
  WatchBootServices(bs);
  Report().Text("installing SETUP_STRING_PROTOCOL").End();
  ReportInstall("SETUP_STRING_PROTOCOL", InstallSetupStringStandIn(bs));
  Report().Text("installing SMBIOS_TABLE_PROTOCOL").End();
  ReportInstall("SMBIOS_TABLE_PROTOCOL", InstallSmbiosStandIn(bs));
  Report().Text("installing both again").End();
  ReportInstall("SETUP_STRING_PROTOCOL", InstallSetupStringStandIn(bs));
  ReportInstall("SMBIOS_TABLE_PROTOCOL", InstallSmbiosStandIn(bs));
  StopWatchingBootServices();
}

VOID CallBoardHookMembers(EFI_BOOT_SERVICES *bs) {
  VOID *interface = nullptr;
  const EFI_STATUS status = bs->LocateProtocol(&kBoardHookProtocolGuid, nullptr, &interface);
  Report().Text("locate BOARD_HOOK_PROTOCOL = ").Hex(status, 16).End();
  if (status != 0 || interface == nullptr) {
    return;
  }
  auto *const *members = static_cast<VOID *const *>(interface);
  Report().Text("null members:");
  for (UINTN i = 0; i < kBoardHookMembers; ++i) {
    if (members[i] == nullptr) {
      Report().Text(" ").Hex(i, 1);
    }
  }
  Report().End();
  for (const UINTN index : kBooleanMembers) {
    const BOOLEAN answer = reinterpret_cast<BooleanMember>(members[index])();
    Report().Text("member ").Hex(index, 1).Text(" returns ").Hex(answer, 2).End();
  }
  for (const UINTN index : kValueMembers) {
    const UINT64 answer = reinterpret_cast<ValueMember>(members[index])();
    Report().Text("member ").Hex(index, 1).Text(" returns ").Hex(answer, 16).End();
  }

  // Buffers pre-filled with 0xA5, so that bytes the query leaves alone show.
  UINT8 buffer[10];
  UINT8 out[19];
  for (UINT8 &byte : buffer) {
    byte = 0xA5;
  }
  for (UINT8 &byte : out) {
    byte = 0xA5;
  }
  WatchBootServices(bs);
  const EFI_STATUS queryStatus = reinterpret_cast<LanMacQueryMember>(members[kLanMacQueryMember])(buffer, out);
  StopWatchingBootServices();
  Report().Text("member 4 returns ").Hex(queryStatus, 16).End();
  Report().Text("buffer ").Bytes(buffer, sizeof(buffer)).End();
  Report().Text("out ").Bytes(out, sizeof(out)).End();
}

VOID PowerOff(EFI_SYSTEM_TABLE *SystemTable) {
  const auto *runtime = static_cast<const UINT8 *>(SystemTable->RuntimeServices);
  const auto resetSystem = *reinterpret_cast<const ResetSystemService *>(runtime + kResetSystemOffset);
  resetSystem(kEfiResetShutdown, 0, 0, nullptr);
}

// The register stand-ins must be in place before the Setup string and SMBIOS
// stand-ins arrive: their arrival runs the handlers that read the riser code.
EFI_STATUS Probe(EFI_SYSTEM_TABLE *SystemTable, bool shippedBoardRegisters) {
  UseConsoleOf(SystemTable);
  ProbeReport report;
  UseReport(report);
  EFI_BOOT_SERVICES *bs = SystemTable->BootServices;
  Report().Text("dxe probe: begin").End();
  if (!shippedBoardRegisters || MapShippedBoardRegisters(bs)) {
    RunArrivalHandlers(bs);
    CallBoardHookMembers(bs);
    if (shippedBoardRegisters) {
      ReportEthernetCommandRegisters();
    }
  }
  Report().Text("dxe probe: end").End();
  PowerOff(SystemTable);
  return 0;
}

}  // namespace

// Two applications from the same code: on QEMU's bare register windows, and
// with the shipped board's registers standing in.
extern "C" EFI_STATUS EFIAPI ProbeAppEntry(EFI_HANDLE, EFI_SYSTEM_TABLE *SystemTable) {
  return Probe(SystemTable, false);
}

extern "C" EFI_STATUS EFIAPI ProbeAppShippedBoardEntry(EFI_HANDLE, EFI_SYSTEM_TABLE *SystemTable) {
  return Probe(SystemTable, true);
}
