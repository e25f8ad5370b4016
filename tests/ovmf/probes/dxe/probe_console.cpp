#include "probe_console.h"

namespace {

struct SIMPLE_TEXT_OUTPUT_PROTOCOL;
using TEXT_OUTPUT_STRING = EFI_STATUS(EFIAPI *)(SIMPLE_TEXT_OUTPUT_PROTOCOL *This, const CHAR16 *String);
struct SIMPLE_TEXT_OUTPUT_PROTOCOL {
  VOID *Reset;
  TEXT_OUTPUT_STRING OutputString;
};
static_assert(__builtin_offsetof(SIMPLE_TEXT_OUTPUT_PROTOCOL, OutputString) == 8);

SIMPLE_TEXT_OUTPUT_PROTOCOL *gConsole = nullptr;
ProbeReport *gReport = nullptr;

}  // namespace

VOID UseReport(ProbeReport &report) { gReport = &report; }
ProbeReport &Report() { return *gReport; }

VOID UseConsoleOf(EFI_SYSTEM_TABLE *SystemTable) {
  gConsole = static_cast<SIMPLE_TEXT_OUTPUT_PROTOCOL *>(SystemTable->ConOut);
}

VOID ProbeReportLine(const CHAR8 *line) {
  constexpr UINTN kCapacity = 256;
  CHAR16 text[kCapacity + 3];
  UINTN length = 0;
  for (; *line != '\0' && length < kCapacity; ++line) {
    text[length++] = CHAR16(UINT8(*line));
  }
  text[length++] = u'\r';
  text[length++] = u'\n';
  text[length] = u'\0';
  if (gConsole != nullptr) {
    gConsole->OutputString(gConsole, text);
  }
}
