#include "stand_in_registers.h"

#include "probe_console.h"

namespace {

constexpr UINTN kPageSize = 0x1000;

// One register in a stand-in page.
struct RegisterValue {
  UINT32 Address;
  UINT32 Value;
  UINT8 Width;  // bytes
};

// The shipped board: H-series PCH (device id 0xA305), GPP_K pads 0..3 owned
// by the host and reading 0, 1, 1, 1 (the x16 riser); four Ethernet
// controllers 0x8086/0x1533 on buses 2..5 behind the root ports 00:1C.0,
// 1C.4, 1C.5 and 1C.6, Command 0x06, BARs 0xD0000000 + n * 1 MiB, MAC
// addresses 02:4B:52:56:37:0n at BAR + 0x5400.
constexpr RegisterValue kShippedBoard[] = {
    {0xE00F8000, 0xA3058086, 4},  // LPC bridge vendor/device
    {0xFD6B0020, 0x00000000, 4},  // GPP_K pads 0..7 ownership: host
    {0xFD6B0600, 0x44000100, 4},  // GPP_K pad 0 DW0: RX state 0
    {0xFD6B0610, 0x44000102, 4},  // GPP_K pad 1 DW0: RX state 1
    {0xFD6B0620, 0x44000102, 4}, {0xFD6B0630, 0x44000102, 4}, {0xE00E0000, 0xA3408086, 4},  // root port 00:1C.0
    {0xE00E0018, 0x00020200, 4},  // primary 0, secondary 2, subordinate 2
    {0xE00E4000, 0xA3408086, 4}, {0xE00E4018, 0x00030300, 4}, {0xE00E5000, 0xA3408086, 4},
    {0xE00E5018, 0x00040400, 4}, {0xE00E6000, 0xA3408086, 4}, {0xE00E6018, 0x00050500, 4},
    {0xE0200000, 0x15338086, 4},  // Ethernet controller on bus 2
    {0xE0200004, 0x06, 1},       {0xE0200010, 0xD0000000, 4}, {0xE0300000, 0x15338086, 4},
    {0xE0300004, 0x06, 1},       {0xE0300010, 0xD0100000, 4}, {0xE0400000, 0x15338086, 4},
    {0xE0400004, 0x06, 1},       {0xE0400010, 0xD0200000, 4}, {0xE0500000, 0x15338086, 4},
    {0xE0500004, 0x06, 1},       {0xE0500010, 0xD0300000, 4}, {0xD0005400, 0x56524B02, 4},  // MAC 02:4B:52:56:37:01
    {0xD0005404, 0x0137, 2},     {0xD0105400, 0x56524B02, 4}, {0xD0105404, 0x0237, 2},
    {0xD0205400, 0x56524B02, 4}, {0xD0205404, 0x0337, 2},     {0xD0305400, 0x56524B02, 4},
    {0xD0305404, 0x0437, 2},
};
constexpr UINT32 kEthernetCommandRegisters[] = {0xE0200004, 0xE0300004, 0xE0400004, 0xE0500004};

// x64 paging: present, writable, page size (in a directory entry), the
// large-page PAT bit and the address bits of an entry.
constexpr UINT64 kPresent = 1ULL << 0;
constexpr UINT64 kWritable = 1ULL << 1;
constexpr UINT64 kPageSizeBit = 1ULL << 7;
constexpr UINT64 kLargePat = 1ULL << 12;
constexpr UINT64 kSmallPat = 1ULL << 7;
constexpr UINT64 kAddressMask = 0x000FFFFFFFFFF000ULL;
constexpr UINT64 kCr0WriteProtect = 1ULL << 16;
constexpr UINT64 kCr4La57 = 1ULL << 12;
constexpr EFI_TPL kTplHighLevel = 31;

UINT64 ReadCr0() {
  UINT64 value;
  __asm__ __volatile__("mov %%cr0, %0" : "=r"(value));
  return value;
}
VOID WriteCr0(UINT64 value) { __asm__ __volatile__("mov %0, %%cr0" : : "r"(value) : "memory"); }
UINT64 ReadCr3() {
  UINT64 value;
  __asm__ __volatile__("mov %%cr3, %0" : "=r"(value));
  return value;
}
VOID WriteCr3(UINT64 value) { __asm__ __volatile__("mov %0, %%cr3" : : "r"(value) : "memory"); }
UINT64 ReadCr4() {
  UINT64 value;
  __asm__ __volatile__("mov %%cr4, %0" : "=r"(value));
  return value;
}

using AllocatePagesService = EFI_STATUS(EFIAPI *)(UINT32 Type, UINT32 MemoryType, UINTN Pages, UINT64 *Memory);
constexpr UINT32 kAllocateAnyPages = 0;
constexpr UINT32 kBootServicesData = 4;

// Pages come zeroed; null if there is no memory.
UINT64 *NewPage(EFI_BOOT_SERVICES *bs) {
  UINT64 address = 0;
  const auto allocatePages = reinterpret_cast<AllocatePagesService>(bs->AllocatePages);
  if (allocatePages(kAllocateAnyPages, kBootServicesData, 1, &address) != 0) {
    return nullptr;
  }
  auto *page = reinterpret_cast<UINT64 *>(address);
  for (UINTN i = 0; i < kPageSize / sizeof(UINT64); ++i) {
    page[i] = 0;
  }
  return page;
}

// Page-table pages, allocated before the edit: no memory service may be
// called while interrupts are off. One 1 GiB split and one 2 MiB split per
// stand-in page at most.
UINT64 *gTablePages[20] = {};
UINTN gTablePagesUsed = 0;

bool AllocateTablePages(EFI_BOOT_SERVICES *bs) {
  for (UINT64 *&page : gTablePages) {
    page = NewPage(bs);
    if (page == nullptr) {
      return false;
    }
  }
  return true;
}

// Replaces a large-page entry by a table of 512 entries mapping the same
// range with the next smaller pages (a 1 GiB page by 2 MiB pages, a 2 MiB page
// by 4 KiB pages), with the same attributes.
bool Split(UINT64 *entry, UINT64 childSize, bool childrenAreLarge) {
  if (gTablePagesUsed == sizeof(gTablePages) / sizeof(gTablePages[0])) {
    return false;
  }
  UINT64 *table = gTablePages[gTablePagesUsed++];
  const UINT64 base = *entry & kAddressMask & ~(childSize * 512 - 1);
  UINT64 attributes = *entry & ~kAddressMask & ~kLargePat;
  if (!childrenAreLarge) {
    attributes &= ~kPageSizeBit;
    if ((*entry & kLargePat) != 0) {
      attributes |= kSmallPat;
    }
  } else if ((*entry & kLargePat) != 0) {
    attributes |= kLargePat;
  }
  for (UINT64 i = 0; i < 512; ++i) {
    table[i] = (base + i * childSize) | attributes;
  }
  *entry = UINT64(UINTN(table)) | kPresent | kWritable;
  return true;
}

// The 4 KiB page-table entry that maps an address, splitting larger pages on
// the way; null if the address is not mapped.
UINT64 *PageTableEntry(UINT64 address) {
  auto *table = reinterpret_cast<UINT64 *>(ReadCr3() & kAddressMask);
  constexpr UINT64 kLevelShift[] = {39, 30, 21, 12};
  for (UINTN level = 0; level < 4; ++level) {
    UINT64 *entry = &table[(address >> kLevelShift[level]) & 511];
    if ((*entry & kPresent) == 0) {
      return nullptr;
    }
    if (level == 3) {
      return entry;
    }
    if (level > 0 && (*entry & kPageSizeBit) != 0 && !Split(entry, 1ULL << kLevelShift[level + 1], level + 1 < 3)) {
      return nullptr;
    }
    table = reinterpret_cast<UINT64 *>(*entry & kAddressMask);
  }
  return nullptr;
}

VOID Store(UINT8 *page, UINT32 offset, UINT32 value, UINT8 width) {
  for (UINT8 i = 0; i < width; ++i) {
    page[offset + i] = UINT8(value >> (8 * i));
  }
}

// The RAM page standing in for the register page at `address`.
struct StandInPage {
  UINT32 Address;
  UINT8 *Ram;
};
StandInPage gPages[16] = {};

UINT8 *StandInPageFor(EFI_BOOT_SERVICES *bs, UINT32 address, UINTN *count) {
  const UINT32 page = address & ~UINT32(kPageSize - 1);
  for (UINTN i = 0; i < *count; ++i) {
    if (gPages[i].Address == page) {
      return gPages[i].Ram;
    }
  }
  if (*count == sizeof(gPages) / sizeof(gPages[0])) {
    return nullptr;
  }
  auto *ram = reinterpret_cast<UINT8 *>(NewPage(bs));
  if (ram == nullptr) {
    return nullptr;
  }
  gPages[(*count)++] = {page, ram};
  return ram;
}

}  // namespace

bool MapShippedBoardRegisters(EFI_BOOT_SERVICES *bs) {
  if ((ReadCr4() & kCr4La57) != 0) {
    Report().Text("stand-in registers: five-level paging, not mapped").End();
    return false;
  }
  UINTN count = 0;
  for (const RegisterValue &reg : kShippedBoard) {
    UINT8 *ram = StandInPageFor(bs, reg.Address, &count);
    if (ram == nullptr) {
      Report().Text("stand-in registers: no page for ").Hex(reg.Address, 8).End();
      return false;
    }
    Store(ram, reg.Address & UINT32(kPageSize - 1), reg.Value, reg.Width);
  }
  if (!AllocateTablePages(bs)) {
    Report().Text("stand-in registers: no memory for page tables").End();
    return false;
  }

  // The core may keep its page tables read-only; nothing else may run while
  // they are half edited.
  const EFI_TPL tpl = bs->RaiseTPL(kTplHighLevel);
  const UINT64 cr0 = ReadCr0();
  WriteCr0(cr0 & ~kCr0WriteProtect);
  bool mapped = true;
  for (UINTN i = 0; i < count && mapped; ++i) {
    UINT64 *entry = PageTableEntry(gPages[i].Address);
    if (entry == nullptr) {
      mapped = false;
      break;
    }
    *entry = (*entry & ~kAddressMask) | UINT64(UINTN(gPages[i].Ram)) | kWritable;
  }
  WriteCr3(ReadCr3());
  WriteCr0(cr0);
  bs->RestoreTPL(tpl);

  Report().Text("stand-in registers: ").Hex(count, 2).Text(" pages ").Text(mapped ? "mapped" : "NOT mapped").End();
  return mapped;
}

VOID ReportEthernetCommandRegisters() {
  Report().Text("ethernet command registers:");
  for (const UINT32 address : kEthernetCommandRegisters) {
    Report().Text(" ").Hex(*reinterpret_cast<volatile UINT8 *>(UINTN(address)), 2);
  }
  Report().End();
}
