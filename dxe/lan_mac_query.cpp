// LanMacQuery: collects the MAC addresses of the onboard Ethernet controllers.
// Each controller sits at device 0 of the bus behind a PCI-to-PCI bridge that
// the port locator names; its MAC address is read from its first memory BAR.
#include "board/guids.h"
#include "board/outside_protocols.h"
#include "board/pcd_tokens.h"
#include "board_hook.h"
#include "hw/pci_config.h"
#include "hw/register_access.h"
#include "module_globals.h"
#include "uefi/status.h"

namespace {

// The port behind which the first list's controller sits, then the ports of
// the second list, in list order.
constexpr UINTN kFirstListPort = kFirstLanBridgePcdToken;
constexpr const UINTN (&kSecondListPorts)[3] = kSecondLanBridgePcdTokens;

// The onboard controller: vendor 0x8086, device 0x1533, as configuration
// dword 0 reads it.
constexpr UINT32 kOnboardLanVendorDevice = 0x15338086;
constexpr UINT32 kAbsentFunction = 0xFFFFFFFF;
// Its receive-address registers hold the MAC address at this BAR offset.
constexpr UINT32 kMacAddressBarOffset = 0x5400;
constexpr UINT32 kBarFlagsMask = 0xF;
// I/O space, memory space and bus mastering on while the registers are read.
constexpr UINT8 kCommandDecodeAndMaster = 0x07;

// Located on first use and kept once found.
VOID *gPortLocator = nullptr;

const PORT_LOCATOR_PROTOCOL *PortLocator() {
  if (gPortLocator == nullptr) {
    gBS->LocateProtocol(&gPortLocatorProtocolGuid, nullptr, &gPortLocator);
  }
  return static_cast<const PORT_LOCATOR_PROTOCOL *>(gPortLocator);
}

// Appends the MAC address of the onboard controller at bdf, if it is there,
// to a list: a count byte, then six bytes per address.
VOID ProbeController(PciBdf bdf, UINT8 *list) {
  const UINT32 vendorDevice = MmioRead32(bdf.ConfigAddress(kPciVendorDeviceOffset));
  if (vendorDevice == kAbsentFunction || vendorDevice != kOnboardLanVendorDevice) {
    return;
  }
  list[0] = UINT8(list[0] + 1);
  // The slot offset is formed in 8 bits, as the count is.
  UINT8 *slot = list + 1 + UINT8(kMacAddressSize * UINT8(list[0] - 1));
  for (UINTN i = 0; i < kMacAddressSize; ++i) {
    slot[i] = 0;
  }

  // The BAR is decoded only while memory space is enabled; the caller's
  // Command setting is put back afterwards.
  const UINT32 command = bdf.ConfigAddress(kPciCommandOffset);
  const UINT8 savedCommand = MmioRead8(command);
  MmioWrite8(command, kCommandDecodeAndMaster);
  const UINT32 bar = MmioRead32(bdf.ConfigAddress(kPciBar0Offset)) & ~kBarFlagsMask;
  const UINT32 macAddress = bar + kMacAddressBarOffset;
  gBS->CopyMem(slot, reinterpret_cast<const VOID *>(UINTN(macAddress)), kMacAddressSize);
  MmioWrite8(command, savedCommand);
}

// Probes device 0 function 0 of the bus behind the bridge of a port. Without
// a port locator there is no bridge to follow and the list stays as it is.
VOID ProbeBehindPort(UINTN port, UINT8 *list) {
  const PORT_LOCATOR_PROTOCOL *locator = PortLocator();
  if (locator == nullptr) {
    return;
  }
  // The bridge is the low 16 bits of the answer; the rest is not ours to read.
  const PciBdf bridge{static_cast<UINT16>(locator->GetBridge(port))};
  const UINT8 busBehindBridge = MmioRead8(bridge.ConfigAddress(kPciSubordinateBusOffset));
  ProbeController(PciBdf::Of(busBehindBridge, 0, 0), list);
}

}  // namespace

EFI_STATUS EFIAPI LanMacQuery(UINT8 *Buffer, UINT8 *Out) {
  if (Buffer == nullptr || Out == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  UINT8 *firstList = Buffer + kFirstMacListOffset;
  firstList[0] = 0;
  ProbeBehindPort(kFirstListPort, firstList);

  Out[0] = 0;
  for (const UINTN port : kSecondListPorts) {
    ProbeBehindPort(port, Out);
  }
  return EFI_SUCCESS;
}
