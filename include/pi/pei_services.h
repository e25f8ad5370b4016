// The PEI services table and PPI descriptor as the PEI core hands them to a
// PEI module. Services the board's module never calls are untyped slots so
// that every offset matches the core's table.
#pragma once

#include "uefi/base_types.h"

struct EFI_PEI_SERVICES;
struct EFI_PEI_PPI_DESCRIPTOR;
using EFI_PEI_FILE_HANDLE = VOID *;

inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_PPI = 0x00000010;
inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST = 0x80000000;

using EFI_PEI_INSTALL_PPI = EFI_STATUS(EFIAPI *)(const EFI_PEI_SERVICES **PeiServices,
                                                 const EFI_PEI_PPI_DESCRIPTOR *PpiList);
using EFI_PEI_LOCATE_PPI = EFI_STATUS(EFIAPI *)(const EFI_PEI_SERVICES **PeiServices, const EFI_GUID *Guid,
                                                UINTN Instance, EFI_PEI_PPI_DESCRIPTOR **PpiDescriptor, VOID **Ppi);
using EFI_PEI_ALLOCATE_POOL = EFI_STATUS(EFIAPI *)(const EFI_PEI_SERVICES **PeiServices, UINTN Size, VOID **Buffer);
using EFI_PEI_UNUSED_SERVICE = VOID *;

struct EFI_PEI_SERVICES {
  EFI_TABLE_HEADER Hdr;
  EFI_PEI_INSTALL_PPI InstallPpi;
  EFI_PEI_UNUSED_SERVICE ReInstallPpi;
  EFI_PEI_LOCATE_PPI LocatePpi;
  EFI_PEI_UNUSED_SERVICE NotifyPpi;
  EFI_PEI_UNUSED_SERVICE GetBootMode;
  EFI_PEI_UNUSED_SERVICE SetBootMode;
  EFI_PEI_UNUSED_SERVICE GetHobList;
  EFI_PEI_UNUSED_SERVICE CreateHob;
  EFI_PEI_UNUSED_SERVICE FfsFindNextVolume;
  EFI_PEI_UNUSED_SERVICE FfsFindNextFile;
  EFI_PEI_UNUSED_SERVICE FfsFindSectionData;
  EFI_PEI_UNUSED_SERVICE InstallPeiMemory;
  EFI_PEI_UNUSED_SERVICE AllocatePages;
  EFI_PEI_ALLOCATE_POOL AllocatePool;
  EFI_PEI_UNUSED_SERVICE CopyMem;
  EFI_PEI_UNUSED_SERVICE SetMem;
  EFI_PEI_UNUSED_SERVICE ReportStatusCode;
  EFI_PEI_UNUSED_SERVICE ResetSystem;
  VOID *CpuIo;
  VOID *PciCfg;
  EFI_PEI_UNUSED_SERVICE FfsFindFileByName;
  EFI_PEI_UNUSED_SERVICE FfsGetFileInfo;
  EFI_PEI_UNUSED_SERVICE FfsGetVolumeInfo;
  EFI_PEI_UNUSED_SERVICE RegisterForShadow;
  EFI_PEI_UNUSED_SERVICE FindSectionData3;
  EFI_PEI_UNUSED_SERVICE FfsGetFileInfo2;
  EFI_PEI_UNUSED_SERVICE ResetSystem2;
  EFI_PEI_UNUSED_SERVICE FreePages;
};
inline constexpr UINTN kPeiServicesCount = 28;
static_assert(sizeof(EFI_PEI_SERVICES) == sizeof(EFI_TABLE_HEADER) + kPeiServicesCount * sizeof(VOID *));
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, InstallPpi) == ForTarget(0x18, 0x18));
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, LocatePpi) == ForTarget(0x20, 0x28));
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, AllocatePool) == ForTarget(0x4C, 0x80));

struct EFI_PEI_PPI_DESCRIPTOR {
  UINTN Flags;
  const EFI_GUID *Guid;
  VOID *Ppi;
};
static_assert(sizeof(EFI_PEI_PPI_DESCRIPTOR) == ForTarget(12, 24));
static_assert(__builtin_offsetof(EFI_PEI_PPI_DESCRIPTOR, Guid) == ForTarget(4, 8));
static_assert(__builtin_offsetof(EFI_PEI_PPI_DESCRIPTOR, Ppi) == ForTarget(8, 16));

using EFI_PEIM_ENTRY_POINT = EFI_STATUS(EFIAPI *)(EFI_PEI_FILE_HANDLE FileHandle, const EFI_PEI_SERVICES **PeiServices);
