// The board-firmware protocols BoardDxe calls. They belong to other firmware
// components; only the members the driver calls are typed. Their members take
// no interface pointer.
#pragma once

#include "uefi/base_types.h"

using SETUP_STRING_SET = EFI_STATUS(EFIAPI *)(const CHAR8 *Name, UINTN Token, const CHAR8 *Text);

struct SETUP_STRING_PROTOCOL {
  VOID *Member0;
  SETUP_STRING_SET SetString;
};
static_assert(__builtin_offsetof(SETUP_STRING_PROTOCOL, SetString) == 1 * sizeof(VOID *));

// The structure header every SMBIOS record starts with.
struct SMBIOS_STRUCTURE_HEADER {
  UINT8 Type;
  UINT8 Length;
  UINT16 Handle;
};
static_assert(sizeof(SMBIOS_STRUCTURE_HEADER) == 4 && __builtin_offsetof(SMBIOS_STRUCTURE_HEADER, Handle) == 2);

using SMBIOS_DELETE_STRUCTURE = EFI_STATUS(EFIAPI *)(UINT16 Handle);
// Returns a copy from boot-services pool that the caller frees.
using SMBIOS_READ_STRUCTURE = EFI_STATUS(EFIAPI *)(UINT8 Type, UINT8 Instance, VOID **Buffer, UINT16 *Size);

struct SMBIOS_TABLE_PROTOCOL {
  VOID *Member0;
  VOID *Member1;
  VOID *Member2;
  VOID *Member3;
  VOID *Member4;
  VOID *Member5;
  SMBIOS_DELETE_STRUCTURE DeleteStructure;
  VOID *Member7;
  SMBIOS_READ_STRUCTURE ReadStructure;
};
static_assert(__builtin_offsetof(SMBIOS_TABLE_PROTOCOL, DeleteStructure) == 6 * sizeof(VOID *));
static_assert(__builtin_offsetof(SMBIOS_TABLE_PROTOCOL, ReadStructure) == 8 * sizeof(VOID *));

// Returns the bus/device/function of the PCI-to-PCI bridge of a port in the
// low 16 bits of its 32-bit answer. On the board's platform the locator is the
// DXE PCD service and this member its Get32: a port is a dynamic PCD token
// whose value is the bridge's bus/device/function.
using PORT_LOCATOR_GET_BRIDGE = UINT32(EFIAPI *)(UINTN PortId);

struct PORT_LOCATOR_PROTOCOL {
  VOID *Member0;
  VOID *Member1;
  VOID *Member2;
  PORT_LOCATOR_GET_BRIDGE GetBridge;
};
static_assert(__builtin_offsetof(PORT_LOCATOR_PROTOCOL, GetBridge) == 3 * sizeof(VOID *));
