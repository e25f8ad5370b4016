#include "stand_in_services.h"

#include "../common/probe_report.h"
#include "probe_console.h"

namespace {

constexpr EFI_GUID kSetupStringProtocolGuid = {
    0x41EADC00, 0x8DB2, 0x4BFE, {0xB0, 0xEA, 0xCB, 0xAA, 0xE7, 0xF4, 0xD3, 0x1B}};
constexpr EFI_GUID kSmbiosTableProtocolGuid = {
    0x5E90A50D, 0x6955, 0x4A49, {0x90, 0x32, 0xDA, 0x38, 0x12, 0xF8, 0xE8, 0xE5}};
constexpr EFI_GUID kPortLocatorProtocolGuid = {
    0x11B34006, 0xD85B, 0x4D0A, {0xA2, 0x90, 0xD5, 0xA5, 0x71, 0x31, 0x0E, 0xF7}};

constexpr EFI_STATUS kSuccess = 0;
constexpr EFI_STATUS kNotFound = 0x800000000000000EULL;
constexpr UINT32 kBootServicesData = 4;

// The shipped board's System Slots records: instance, handle, designation.
struct SlotRecord {
  UINT8 Instance;
  UINT16 Handle;
  const CHAR8 *Designation;
};
constexpr SlotRecord kSlotRecords[] = {
    {1, 0x0027, "CPU1 RISER SLOT"},
    {2, 0x0028, "CPU1 RISER SLOT1 PCI-E 3.0 X16"},
    {3, 0x0029, "CPU1 RISER SLOT1 PCI-E 3.0 X8"},
};
constexpr UINT8 kSystemSlotsType = 9;
constexpr UINT8 kSystemSlotsLength = 0x11;
bool gSlotDeleted[3] = {};

// The copies handed out and not yet freed.
struct SmbiosCopy {
  const VOID *Buffer;
  UINT8 Instance;
};
SmbiosCopy gCopies[8] = {};

// The shipped board's dynamic PCD tokens that hold the LAN bridges'
// bus/device/function (read with PCD_PROTOCOL Get32: the port locator).
struct BridgeToken {
  UINTN Token;
  UINT32 Bridge;
};
constexpr BridgeToken kBridgeTokens[] = {{0x008, 0x00E0}, {0x18C, 0x00E4}, {0x18D, 0x00E5}, {0x18E, 0x00E6}};

EFI_BOOT_SERVICES *gServices = nullptr;

// The members' layouts, by position: the second pointer of the Setup string
// service, the seventh and ninth of the SMBIOS service, the fourth of the
// port locator (PCD_PROTOCOL's Get32). None takes an interface pointer.
using SetStringMember = EFI_STATUS(EFIAPI *)(const CHAR8 *Name, UINTN Token, const CHAR8 *Text);
using DeleteStructureMember = EFI_STATUS(EFIAPI *)(UINT16 Handle);
using ReadStructureMember = EFI_STATUS(EFIAPI *)(UINT8 Type, UINT8 Instance, VOID **Buffer, UINT16 *Size);
using Get32Member = UINT32(EFIAPI *)(UINTN TokenNumber);

struct SetupStringStandIn {
  VOID *Member0;
  SetStringMember SetString;
};
struct SmbiosStandIn {
  VOID *Member0To5[6];
  DeleteStructureMember DeleteStructure;
  VOID *Member7;
  ReadStructureMember ReadStructure;
};
struct PortLocatorStandIn {
  VOID *Member0To2[3];
  Get32Member Get32;
};
static_assert(__builtin_offsetof(SetupStringStandIn, SetString) == 8);
static_assert(__builtin_offsetof(SmbiosStandIn, DeleteStructure) == 48);
static_assert(__builtin_offsetof(SmbiosStandIn, ReadStructure) == 64);
static_assert(__builtin_offsetof(PortLocatorStandIn, Get32) == 24);

EFI_STATUS EFIAPI SetString(const CHAR8 *Name, UINTN Token, const CHAR8 *Text) {
  // The simulator's trace line, then nothing of the probe's own.
  Report().Text("call SETUP.SetString(\"").Text(Name).Text("\", ").Hex(Token, 4).Text(", \"").Text(Text);
  Report().Text("\") = ").Status(kSuccess).End();
  return kSuccess;
}

const SlotRecord *FindSlot(UINT8 Type, UINT8 Instance) {
  for (const SlotRecord &record : kSlotRecords) {
    if (Type == kSystemSlotsType && record.Instance == Instance && !gSlotDeleted[Instance - 1]) {
      return &record;
    }
  }
  return nullptr;
}

UINTN TextLength(const CHAR8 *text) {
  UINTN length = 0;
  while (text[length] != '\0') {
    ++length;
  }
  return length;
}

// A System Slots structure: the formatted area (designation string 1, the
// rest zero), then the designation and the closing double NUL.
EFI_STATUS CopySlotRecord(const SlotRecord &record, VOID **Buffer, UINT16 *Size) {
  const UINTN textLength = TextLength(record.Designation);
  const UINTN size = kSystemSlotsLength + textLength + 2;
  VOID *buffer = nullptr;
  const EFI_STATUS status = gServices->AllocatePool(kBootServicesData, size, &buffer);
  if (status != kSuccess) {
    return status;
  }
  auto *bytes = static_cast<UINT8 *>(buffer);
  for (UINTN i = 0; i < size; ++i) {
    bytes[i] = 0;
  }
  bytes[0] = kSystemSlotsType;
  bytes[1] = kSystemSlotsLength;
  bytes[2] = UINT8(record.Handle);
  bytes[3] = UINT8(record.Handle >> 8);
  bytes[4] = 1;
  for (UINTN i = 0; i < textLength; ++i) {
    bytes[kSystemSlotsLength + i] = UINT8(record.Designation[i]);
  }
  for (SmbiosCopy &copy : gCopies) {
    if (copy.Buffer == nullptr) {
      copy = {buffer, record.Instance};
      break;
    }
  }
  *Buffer = buffer;
  *Size = UINT16(size);
  return kSuccess;
}

EFI_STATUS EFIAPI ReadStructure(UINT8 Type, UINT8 Instance, VOID **Buffer, UINT16 *Size) {
  // The simulator's trace line first, then what the stand-in saw on entry
  // and which record it handed out, on a line of the probe's own.
  const VOID *bufferOnEntry = *Buffer;
  const UINT16 sizeOnEntry = *Size;
  const SlotRecord *record = FindSlot(Type, Instance);
  const EFI_STATUS status = record == nullptr ? kNotFound : CopySlotRecord(*record, Buffer, Size);
  Report().Text("call SMBIOS.ReadStructure(type ").Decimal(Type).Text(", instance ").Decimal(Instance);
  Report().Text(") = ").Status(status).End();
  Report().Text("seen on entry: buffer ").Text(bufferOnEntry == nullptr ? "null" : "set").Text(", size ");
  Report().Hex(sizeOnEntry, 4);
  if (record != nullptr) {
    Report().Text("; handed out handle ").Hex(record->Handle, 4);
  }
  Report().End();
  return status;
}

EFI_STATUS EFIAPI DeleteStructure(UINT16 Handle) {
  EFI_STATUS status = kNotFound;
  for (const SlotRecord &record : kSlotRecords) {
    if (record.Handle == Handle && !gSlotDeleted[record.Instance - 1]) {
      gSlotDeleted[record.Instance - 1] = true;
      status = kSuccess;
      break;
    }
  }
  Report().Text("call SMBIOS.DeleteStructure(handle ").Hex(Handle, 4).Text(") = ").Status(status).End();
  return status;
}

// An unknown token answers all ones, as the simulated PCD database does.
UINT32 EFIAPI Get32(UINTN TokenNumber) {
  UINT32 value = 0xFFFFFFFF;
  for (const BridgeToken &entry : kBridgeTokens) {
    if (entry.Token == TokenNumber) {
      value = entry.Bridge;
    }
  }
  Report().Text("call PCD.Get32(token ").ShortHex(TokenNumber).Text(") = ").Hex(value, 8).End();
  return value;
}

SetupStringStandIn gSetupStrings = {nullptr, SetString};
SmbiosStandIn gSmbios = {{}, DeleteStructure, nullptr, ReadStructure};
PortLocatorStandIn gPortLocator = {{}, Get32};

EFI_STATUS Install(EFI_BOOT_SERVICES *bs, const EFI_GUID &guid, VOID *interface) {
  gServices = bs;
  EFI_HANDLE handle = nullptr;
  return bs->InstallProtocolInterface(&handle, &guid, EFI_NATIVE_INTERFACE, interface);
}

}  // namespace

EFI_STATUS InstallPortLocatorStandIn(EFI_BOOT_SERVICES *bs) {
  return Install(bs, kPortLocatorProtocolGuid, &gPortLocator);
}
EFI_STATUS InstallSetupStringStandIn(EFI_BOOT_SERVICES *bs) {
  return Install(bs, kSetupStringProtocolGuid, &gSetupStrings);
}
EFI_STATUS InstallSmbiosStandIn(EFI_BOOT_SERVICES *bs) { return Install(bs, kSmbiosTableProtocolGuid, &gSmbios); }

const StandIn *FindStandIn(const EFI_GUID *guid) {
  static const StandIn kStandIns[] = {
      {"SETUP_STRING_PROTOCOL", &kSetupStringProtocolGuid, &gSetupStrings},
      {"SMBIOS_TABLE_PROTOCOL", &kSmbiosTableProtocolGuid, &gSmbios},
      {"PORT_LOCATOR_PROTOCOL", &kPortLocatorProtocolGuid, &gPortLocator},
  };
  for (const StandIn &standIn : kStandIns) {
    if (SameBytes(guid, standIn.Guid, sizeof(EFI_GUID))) {
      return &standIn;
    }
  }
  return nullptr;
}

UINT8 TakeSmbiosCopy(const VOID *buffer) {
  for (SmbiosCopy &copy : gCopies) {
    if (copy.Buffer == buffer && buffer != nullptr) {
      const UINT8 instance = copy.Instance;
      copy = {nullptr, 0};
      return instance;
    }
  }
  return 0;
}
