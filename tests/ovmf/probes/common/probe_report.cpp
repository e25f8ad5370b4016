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

ProbeReport &ProbeReport::ShortHex(UINT64 value) {
  UINTN digits = 1;
  while (digits < 16 && (value >> (4 * digits)) != 0) {
    ++digits;
  }
  return Hex(value, digits);
}

ProbeReport &ProbeReport::Decimal(UINT32 value) {
  CHAR8 digits[10];
  UINTN count = 0;
  do {
    digits[count++] = CHAR8('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) {
    Put(digits[--count]);
  }
  return *this;
}

ProbeReport &ProbeReport::Status(UINT64 status) {
  struct NamedStatus {
    UINT64 Value;
    const CHAR8 *Name;
  };
  // The statuses the board's modules and the stand-ins return.
  static constexpr NamedStatus kNames[] = {
      {0, "EFI_SUCCESS"},
      {0x8000000000000001ULL, "EFI_LOAD_ERROR"},
      {0x8000000000000002ULL, "EFI_INVALID_PARAMETER"},
      {0x8000000000000003ULL, "EFI_UNSUPPORTED"},
      {0x8000000000000005ULL, "EFI_BUFFER_TOO_SMALL"},
      {0x8000000000000007ULL, "EFI_DEVICE_ERROR"},
      {0x8000000000000009ULL, "EFI_OUT_OF_RESOURCES"},
      {0x800000000000000EULL, "EFI_NOT_FOUND"},
  };
  for (const NamedStatus &known : kNames) {
    if (known.Value == status) {
      return Text(known.Name);
    }
  }
  return ShortHex(status);
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
