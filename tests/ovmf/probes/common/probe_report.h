// A line-oriented text report for the probe modules: no library and no heap.
// Each finished line goes to ProbeReportLine, which each probe defines (the
// debug console port in PEI, the console in DXE).
#pragma once

#include "uefi/base_types.h"

VOID ProbeReportLine(const CHAR8 *line);

class ProbeReport {
 public:
  ProbeReport &Text(const CHAR8 *text);
  // "0x" and exactly `digits` upper-case hex digits.
  ProbeReport &Hex(UINT64 value, UINTN digits);
  // "0x" and as many upper-case hex digits as the value needs (0x8, 0x18C).
  ProbeReport &ShortHex(UINT64 value);
  // The value in decimal (32 bits: no 64-bit division in the IA-32 probe).
  ProbeReport &Decimal(UINT32 value);
  // The status by its name, as the simulator's trace writes it
  // (EFI_SUCCESS, EFI_NOT_FOUND, ...), or "0x" and its value.
  ProbeReport &Status(UINT64 status);
  // Space-separated upper-case hex bytes.
  ProbeReport &Bytes(const UINT8 *bytes, UINTN count);
  // "null" or the address.
  ProbeReport &Pointer(const VOID *pointer);
  // Hands the line to the sink and starts the next one.
  VOID End();

 private:
  VOID Put(CHAR8 c);

  static constexpr UINTN kLineCapacity = 240;
  CHAR8 line_[kLineCapacity + 1];
  UINTN length_ = 0;
};

// Probe answers that compare memory without the C library.
bool SameBytes(const VOID *a, const VOID *b, UINTN count);
