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
