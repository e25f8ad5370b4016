#include "probe_report.h"

VOID ProbeReport::Put(CHAR8 c) {
  // A line that outgrows the buffer is cut, never overrun.
  if (length_ < kLineCapacity) {
    line_[length_++] = c;
  }
}

ProbeReport &ProbeReport::Text(const CHAR8 *text) {
  for (; *text != '\0'; ++text) {
    Put(*text);
  }
  return *this;
}

ProbeReport &ProbeReport::Hex(UINT64 value, UINTN digits) {
  constexpr CHAR8 kDigits[] = "0123456789ABCDEF";
  Put('0');
  Put('x');
  for (UINTN i = digits; i > 0; --i) {
    Put(kDigits[(value >> (4 * (i - 1))) & 0xF]);
  }
  return *this;
}

ProbeReport &ProbeReport::Bytes(const UINT8 *bytes, UINTN count) {
  constexpr CHAR8 kDigits[] = "0123456789ABCDEF";
  for (UINTN i = 0; i < count; ++i) {
    if (i != 0) {
      Put(' ');
    }
    Put(kDigits[bytes[i] >> 4]);
    Put(kDigits[bytes[i] & 0xF]);
  }
  return *this;
}

ProbeReport &ProbeReport::Pointer(const VOID *pointer) {
  if (pointer == nullptr) {
    return Text("null");
  }
  return Hex(UINTN(pointer), 2 * sizeof(VOID *));
}

VOID ProbeReport::End() {
  line_[length_] = '\0';
  ProbeReportLine(line_);
  length_ = 0;
}

bool SameBytes(const VOID *a, const VOID *b, UINTN count) {
  const auto *left = static_cast<const UINT8 *>(a);
  const auto *right = static_cast<const UINT8 *>(b);
  for (UINTN i = 0; i < count; ++i) {
    if (left[i] != right[i]) {
      return false;
    }
  }
  return true;
}
