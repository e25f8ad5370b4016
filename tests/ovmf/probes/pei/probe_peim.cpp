// The PEI probe: a PEIM that the core dispatches once BOARD_HOOK_PPI is
// installed (its dependency expression waits for it). It looks the PPI up
// the way any other PEIM would, calls every member, reads back the board-name
// PCD and writes what it saw to QEMU's debug console. The GUIDs, member
// positions and PCD member numbers are written out here, independently of
// the board's headers, so that a wrong header cannot agree with itself.
#include "../common/probe_report.h"
#include "pi/pei_services.h"

namespace {

constexpr EFI_GUID kBoardHookPpiGuid = {0xA0E5A45F, 0x5374, 0x46B3, {0xB5, 0x1E, 0xD3, 0x10, 0xB2, 0xC4, 0x8A, 0xAE}};
constexpr EFI_GUID kPcdPpiGuid = {0x06E81C58, 0x4AD7, 0x44BC, {0x83, 0x90, 0xF1, 0x02, 0x65, 0xF7, 0x24, 0x80}};

constexpr UINTN kBoardHookPpiMembers = 10;
constexpr UINTN kBoardInfoMember = 3;
constexpr UINTN kBooleanMembers[] = {0, 4};

// PCD_PPI members by position: Get64, GetSize and SetPtr of a token number.
constexpr UINTN kPcdGet64 = 4;
constexpr UINTN kPcdGetSize = 7;
constexpr UINTN kPcdSetPtr = 19;
constexpr UINTN kBoardNameToken = 5;
constexpr CHAR16 kBoardName[] = u"KRV7-DM3TQA";

using BooleanMember = BOOLEAN(EFIAPI *)();
using BoardInfoMember = EFI_STATUS(EFIAPI *)(VOID *, VOID *, UINT8 *, UINT8 *);
using PcdGet64 = UINT64(EFIAPI *)(UINTN TokenNumber);
using PcdGetSize = UINTN(EFIAPI *)(UINTN TokenNumber);
using PcdSetPtr = EFI_STATUS(EFIAPI *)(UINTN TokenNumber, UINTN *SizeOfBuffer, VOID *Buffer);

// QEMU's isa-debugcon, placed at this I/O port on the command line.
constexpr UINT16 kDebugConsolePort = 0x402;

VOID DebugConsoleWrite(CHAR8 c) { __asm__ __volatile__("outb %0, %1" : : "a"(c), "Nd"(kDebugConsolePort)); }

UINTN IdtBase() {
  struct __attribute__((packed)) {
    UINT16 Limit;
    UINTN Base;
  } idtr;
  __asm__ __volatile__("sidt %0" : "=m"(idtr));
  return idtr.Base;
}

template <typename Function>
Function Member(VOID *const *table, UINTN index) {
  return reinterpret_cast<Function>(table[index]);
}

VOID ReportServicesWord(ProbeReport &report, const EFI_PEI_SERVICES **PeiServices) {
  const UINTN word = *reinterpret_cast<const UINTN *>(IdtBase() - sizeof(VOID *));
  report.Text("idt word is services pointer: ").Text(word == UINTN(PeiServices) ? "yes" : "no").End();
}

VOID ReportBoardHookPpi(ProbeReport &report, const EFI_PEI_SERVICES **PeiServices) {
  EFI_PEI_PPI_DESCRIPTOR *descriptor = nullptr;
  VOID *ppi = nullptr;
  const EFI_STATUS status = (*PeiServices)->LocatePpi(PeiServices, &kBoardHookPpiGuid, 0, &descriptor, &ppi);
  report.Text("locate BOARD_HOOK_PPI: status ").Hex(status, 8).End();
  if (status != 0 || ppi == nullptr) {
    return;
  }
  report.Text("descriptor flags ").Hex(descriptor->Flags, 8);
  report.Text(" guid ").Text(SameBytes(descriptor->Guid, &kBoardHookPpiGuid, sizeof(EFI_GUID)) ? "matches" : "differs");
  report.Text(" ppi ").Text(descriptor->Ppi == ppi ? "matches" : "differs").End();

  auto *const *members = static_cast<VOID *const *>(ppi);
  report.Text("null members:");
  for (UINTN i = 0; i < kBoardHookPpiMembers; ++i) {
    if (members[i] == nullptr) {
      report.Text(" ").Hex(i, 1);
    }
  }
  report.End();

  for (const UINTN index : kBooleanMembers) {
    const BOOLEAN answer = Member<BooleanMember>(members, index)();
    report.Text("member ").Hex(index, 1).Text(" returns ").Hex(answer, 2).End();
  }

  // Outputs pre-filled with 0xA5, one byte longer than the member may write,
  // so that a short or long write shows; the first two arguments are junk.
  UINT8 info[5] = {0xA5, 0xA5, 0xA5, 0xA5, 0xA5};
  UINT8 flag[2] = {0xA5, 0xA5};
  const EFI_STATUS infoStatus = Member<BoardInfoMember>(members, kBoardInfoMember)(
      reinterpret_cast<VOID *>(UINTN(0xDEADBEEF)), reinterpret_cast<VOID *>(UINTN(0x0BADF00D)), info, flag);
  report.Text("member 3 returns ").Hex(infoStatus, 8).Text(" info ").Bytes(info, sizeof(info));
  report.Text(" flag ").Bytes(flag, sizeof(flag)).End();
}

// BoardPei's 24-byte write to token 5 ran before this probe. The probe reads
// the token back and repeats the write, to show what the service made of it.
VOID ReportBoardNamePcd(ProbeReport &report, const EFI_PEI_SERVICES **PeiServices) {
  VOID *pcd = nullptr;
  const EFI_STATUS status = (*PeiServices)->LocatePpi(PeiServices, &kPcdPpiGuid, 0, nullptr, &pcd);
  report.Text("locate PCD_PPI: status ").Hex(status, 8).End();
  if (status != 0 || pcd == nullptr) {
    return;
  }
  auto *const *members = static_cast<VOID *const *>(pcd);
  const UINTN size = Member<PcdGetSize>(members, kPcdGetSize)(kBoardNameToken);
  const UINT64 before = Member<PcdGet64>(members, kPcdGet64)(kBoardNameToken);
  report.Text("pcd token 5: size ").Hex(size, 8).Text(" value ").Hex(before, 16).End();

  UINTN setSize = sizeof(kBoardName);
  const EFI_STATUS setStatus =
      Member<PcdSetPtr>(members, kPcdSetPtr)(kBoardNameToken, &setSize, const_cast<CHAR16 *>(kBoardName));
  const UINT64 after = Member<PcdGet64>(members, kPcdGet64)(kBoardNameToken);
  report.Text("pcd token 5: set 24 bytes returns ").Hex(setStatus, 8).Text(" size now ").Hex(setSize, 8);
  report.Text(" value ").Text(after == before ? "unchanged" : "changed").End();
}

}  // namespace

VOID ProbeReportLine(const CHAR8 *line) {
  for (; *line != '\0'; ++line) {
    DebugConsoleWrite(*line);
  }
  DebugConsoleWrite('\n');
}

extern "C" EFI_STATUS EFIAPI ProbePeimEntry(EFI_PEI_FILE_HANDLE, const EFI_PEI_SERVICES **PeiServices) {
  // On the stack: an image run in place in the volume has no zeroed data.
  ProbeReport report;
  report.Text("pei probe: begin").End();
  ReportServicesWord(report, PeiServices);
  ReportBoardHookPpi(report, PeiServices);
  ReportBoardNamePcd(report, PeiServices);
  report.Text("pei probe: end").End();
  return 0;
}
