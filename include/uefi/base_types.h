// Fundamental UEFI types for the board's firmware modules. No standard
// library header is used: the same definitions compile for the host, the
// x64 driver and the IA-32 PEI module.
#pragma once

using UINT8 = unsigned char;
using INT8 = signed char;
using UINT16 = unsigned short;
using UINT32 = unsigned int;
using UINT64 = unsigned long long;
using UINTN = decltype(sizeof 0);
using BOOLEAN = unsigned char;
using CHAR8 = char;
using CHAR16 = char16_t;
using VOID = void;

using EFI_STATUS = UINTN;
using EFI_HANDLE = VOID *;
using EFI_EVENT = VOID *;
using EFI_TPL = UINTN;

inline constexpr BOOLEAN TRUE = 1;
inline constexpr BOOLEAN FALSE = 0;

static_assert(sizeof(UINT8) == 1 && sizeof(UINT16) == 2 && sizeof(UINT32) == 4 && sizeof(UINT64) == 8);
static_assert(sizeof(UINTN) == sizeof(VOID *));
static_assert(sizeof(CHAR16) == 2);

// The UEFI calling convention: Microsoft x64 on x86-64 (also when the module
// is built for the host, so host code calls it exactly as firmware does),
// cdecl on IA-32.
#if defined(__x86_64__)
#define EFIAPI __attribute__((ms_abi))
#else
#define EFIAPI
#endif

// Picks the expected value of a layout check for the target being compiled.
inline constexpr UINTN ForTarget(UINTN ia32, UINTN x64) { return sizeof(VOID *) == 8 ? x64 : ia32; }

struct EFI_GUID {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
};
static_assert(sizeof(EFI_GUID) == 16 && alignof(EFI_GUID) == 4);
static_assert(__builtin_offsetof(EFI_GUID, Data4) == 8);

struct EFI_TABLE_HEADER {
  UINT64 Signature;
  UINT32 Revision;
  UINT32 HeaderSize;
  UINT32 CRC32;
  UINT32 Reserved;
};
static_assert(sizeof(EFI_TABLE_HEADER) == 24);
