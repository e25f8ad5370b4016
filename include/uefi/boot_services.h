// The UEFI system table and boot services table, laid out as a DXE core
// hands them to a driver. Members the board's driver never calls are kept as
// untyped slots so that every offset matches the firmware's table.
#pragma once

#include "uefi/base_types.h"

inline constexpr UINT32 EVT_NOTIFY_SIGNAL = 0x00000200;
inline constexpr EFI_TPL TPL_APPLICATION = 4;
inline constexpr EFI_TPL TPL_CALLBACK = 8;
inline constexpr EFI_TPL TPL_NOTIFY = 16;

enum EFI_INTERFACE_TYPE : UINT32 { EFI_NATIVE_INTERFACE = 0 };
static_assert(sizeof(EFI_INTERFACE_TYPE) == 4);

using EFI_EVENT_NOTIFY = VOID(EFIAPI *)(EFI_EVENT Event, VOID *Context);
using EFI_CREATE_EVENT = EFI_STATUS(EFIAPI *)(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY NotifyFunction,
                                              VOID *NotifyContext, EFI_EVENT *Event);
using EFI_CREATE_EVENT_EX = EFI_STATUS(EFIAPI *)(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY NotifyFunction,
                                                 const VOID *NotifyContext, const EFI_GUID *EventGroup,
                                                 EFI_EVENT *Event);
using EFI_SIGNAL_EVENT = EFI_STATUS(EFIAPI *)(EFI_EVENT Event);
using EFI_CLOSE_EVENT = EFI_STATUS(EFIAPI *)(EFI_EVENT Event);
using EFI_INSTALL_PROTOCOL_INTERFACE = EFI_STATUS(EFIAPI *)(EFI_HANDLE *Handle, const EFI_GUID *Protocol,
                                                            EFI_INTERFACE_TYPE InterfaceType, VOID *Interface);
using EFI_REGISTER_PROTOCOL_NOTIFY = EFI_STATUS(EFIAPI *)(const EFI_GUID *Protocol, EFI_EVENT Event,
                                                          VOID **Registration);
using EFI_LOCATE_PROTOCOL = EFI_STATUS(EFIAPI *)(const EFI_GUID *Protocol, VOID *Registration, VOID **Interface);
using EFI_ALLOCATE_POOL = EFI_STATUS(EFIAPI *)(UINT32 PoolType, UINTN Size, VOID **Buffer);
using EFI_FREE_POOL = EFI_STATUS(EFIAPI *)(VOID *Buffer);
using EFI_COPY_MEM = VOID(EFIAPI *)(VOID *Destination, const VOID *Source, UINTN Length);
using EFI_RAISE_TPL = EFI_TPL(EFIAPI *)(EFI_TPL NewTpl);
using EFI_RESTORE_TPL = VOID(EFIAPI *)(EFI_TPL OldTpl);

// A boot service the board's modules do not call.
using EFI_UNUSED_SERVICE = VOID *;

struct EFI_BOOT_SERVICES {
  EFI_TABLE_HEADER Hdr;
  EFI_RAISE_TPL RaiseTPL;
  EFI_RESTORE_TPL RestoreTPL;
  EFI_UNUSED_SERVICE AllocatePages;
  EFI_UNUSED_SERVICE FreePages;
  EFI_UNUSED_SERVICE GetMemoryMap;
  EFI_ALLOCATE_POOL AllocatePool;
  EFI_FREE_POOL FreePool;
  EFI_CREATE_EVENT CreateEvent;
  EFI_UNUSED_SERVICE SetTimer;
  EFI_UNUSED_SERVICE WaitForEvent;
  EFI_SIGNAL_EVENT SignalEvent;
  EFI_CLOSE_EVENT CloseEvent;
  EFI_UNUSED_SERVICE CheckEvent;
  EFI_INSTALL_PROTOCOL_INTERFACE InstallProtocolInterface;
  EFI_UNUSED_SERVICE ReinstallProtocolInterface;
  EFI_UNUSED_SERVICE UninstallProtocolInterface;
  EFI_UNUSED_SERVICE HandleProtocol;
  VOID *Reserved;
  EFI_REGISTER_PROTOCOL_NOTIFY RegisterProtocolNotify;
  EFI_UNUSED_SERVICE LocateHandle;
  EFI_UNUSED_SERVICE LocateDevicePath;
  EFI_UNUSED_SERVICE InstallConfigurationTable;
  EFI_UNUSED_SERVICE LoadImage;
  EFI_UNUSED_SERVICE StartImage;
  EFI_UNUSED_SERVICE Exit;
  EFI_UNUSED_SERVICE UnloadImage;
  EFI_UNUSED_SERVICE ExitBootServices;
  EFI_UNUSED_SERVICE GetNextMonotonicCount;
  EFI_UNUSED_SERVICE Stall;
  EFI_UNUSED_SERVICE SetWatchdogTimer;
  EFI_UNUSED_SERVICE ConnectController;
  EFI_UNUSED_SERVICE DisconnectController;
  EFI_UNUSED_SERVICE OpenProtocol;
  EFI_UNUSED_SERVICE CloseProtocol;
  EFI_UNUSED_SERVICE OpenProtocolInformation;
  EFI_UNUSED_SERVICE ProtocolsPerHandle;
  EFI_UNUSED_SERVICE LocateHandleBuffer;
  EFI_LOCATE_PROTOCOL LocateProtocol;
  EFI_UNUSED_SERVICE InstallMultipleProtocolInterfaces;
  EFI_UNUSED_SERVICE UninstallMultipleProtocolInterfaces;
  EFI_UNUSED_SERVICE CalculateCrc32;
  EFI_COPY_MEM CopyMem;
  EFI_UNUSED_SERVICE SetMem;
  EFI_CREATE_EVENT_EX CreateEventEx;
};
// 44 services after the header; offsets as a DXE core lays them out.
inline constexpr UINTN kBootServicesCount = 44;
static_assert(sizeof(EFI_BOOT_SERVICES) == sizeof(EFI_TABLE_HEADER) + kBootServicesCount * sizeof(VOID *));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, AllocatePool) == ForTarget(0x2C, 0x40));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, FreePool) == ForTarget(0x30, 0x48));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, CreateEvent) == ForTarget(0x34, 0x50));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, SignalEvent) == ForTarget(0x40, 0x68));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, CloseEvent) == ForTarget(0x44, 0x70));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface) == ForTarget(0x4C, 0x80));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, RegisterProtocolNotify) == ForTarget(0x60, 0xA8));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, LocateProtocol) == ForTarget(0xAC, 0x140));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, CopyMem) == ForTarget(0xBC, 0x160));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, CreateEventEx) == ForTarget(0xC4, 0x170));

struct EFI_SYSTEM_TABLE {
  EFI_TABLE_HEADER Hdr;
  CHAR16 *FirmwareVendor;
  UINT32 FirmwareRevision;
  EFI_HANDLE ConsoleInHandle;
  VOID *ConIn;
  EFI_HANDLE ConsoleOutHandle;
  VOID *ConOut;
  EFI_HANDLE StandardErrorHandle;
  VOID *StdErr;
  VOID *RuntimeServices;
  EFI_BOOT_SERVICES *BootServices;
  UINTN NumberOfTableEntries;
  VOID *ConfigurationTable;
};
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == ForTarget(56, 88));
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, BootServices) == ForTarget(60, 96));
static_assert(sizeof(EFI_SYSTEM_TABLE) == ForTarget(72, 120));

using EFI_IMAGE_ENTRY_POINT = EFI_STATUS(EFIAPI *)(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
