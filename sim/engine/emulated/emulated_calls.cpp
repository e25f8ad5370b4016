#include "sim/engine/emulated/emulated_calls.h"

#include <array>
#include <stdexcept>
#include <type_traits>

#include "board/board_hook_ppi.h"
#include "board/board_hook_protocol.h"
#include "board/outside_protocols.h"
#include "pi/pcd_ppi.h"
#include "pi/pei_services.h"
#include "uefi/boot_services.h"

namespace boardsim::emulated {
namespace {

template <class T>
constexpr Width WidthOf() {
  if constexpr (std::is_void_v<T>)
    return Width::None;
  else if constexpr (std::is_pointer_v<T> || std::is_same_v<T, UINTN>)
    return Width::Natural;
  else if constexpr (sizeof(T) == 1)
    return Width::Bits8;
  else if constexpr (sizeof(T) == 2)
    return Width::Bits16;
  else if constexpr (sizeof(T) == 4)
    return Width::Bits32;
  else
    return Width::Bits64;
}

// The shape of a firmware function pointer type. A 64-bit argument would
// take two stack words on IA-32; no interface of the board passes one.
template <class F>
struct Shape;
template <class R, class... A>
struct Shape<R(EFIAPI *)(A...)> {
  static_assert(((WidthOf<A>() != Width::Bits64) && ...), "64-bit arguments are not read by the emulator");
  static CallShape Make() { return CallShape{{WidthOf<A>()...}, WidthOf<R>()}; }
};

template <class F>
CallShape ShapeFor() {
  return Shape<F>::Make();
}

}  // namespace

const CallShape &ShapeOf(Service service) {
  // In the order of Service.
  static const std::array<CallShape, static_cast<std::size_t>(Service::Count)> shapes = {
      ShapeFor<EFI_RAISE_TPL>(),
      ShapeFor<EFI_RESTORE_TPL>(),
      ShapeFor<EFI_ALLOCATE_POOL>(),
      ShapeFor<EFI_FREE_POOL>(),
      ShapeFor<EFI_CREATE_EVENT>(),
      ShapeFor<EFI_SIGNAL_EVENT>(),
      ShapeFor<EFI_CLOSE_EVENT>(),
      ShapeFor<EFI_INSTALL_PROTOCOL_INTERFACE>(),
      ShapeFor<EFI_REGISTER_PROTOCOL_NOTIFY>(),
      ShapeFor<EFI_LOCATE_PROTOCOL>(),
      ShapeFor<EFI_COPY_MEM>(),
      ShapeFor<EFI_CREATE_EVENT_EX>(),
      ShapeFor<SETUP_STRING_SET>(),
      ShapeFor<SMBIOS_DELETE_STRUCTURE>(),
      ShapeFor<SMBIOS_READ_STRUCTURE>(),
      ShapeFor<PORT_LOCATOR_GET_BRIDGE>(),
      ShapeFor<EFI_PEI_INSTALL_PPI>(),
      ShapeFor<EFI_PEI_LOCATE_PPI>(),
      ShapeFor<EFI_PEI_ALLOCATE_POOL>(),
      ShapeFor<PCD_PPI_SET_POINTER>(),
  };
  return shapes.at(static_cast<std::size_t>(service));
}

const CallShape &ShapeOf(Signature signature) {
  static const CallShape dxeEntry = ShapeFor<EFI_IMAGE_ENTRY_POINT>();
  static const CallShape peiEntry = ShapeFor<EFI_PEIM_ENTRY_POINT>();
  static const CallShape notify = ShapeFor<EFI_EVENT_NOTIFY>();
  static const CallShape boolean = ShapeFor<BOARD_HOOK_BOOLEAN_ANSWER>();
  static const CallShape value = ShapeFor<BOARD_HOOK_VALUE_ANSWER>();
  static const CallShape lanMacQuery = ShapeFor<BOARD_HOOK_LAN_MAC_QUERY>();
  static const CallShape boardInfo = ShapeFor<BOARD_HOOK_PPI_BOARD_INFO>();
  switch (signature) {
    case Signature::DxeEntry:
      return dxeEntry;
    case Signature::PeiEntry:
      return peiEntry;
    case Signature::EventNotify:
      return notify;
    case Signature::BooleanAnswer:
      return boolean;
    case Signature::ValueAnswer:
      return value;
    case Signature::LanMacQuery:
      return lanMacQuery;
    case Signature::PpiBoardInfo:
      return boardInfo;
  }
  throw std::logic_error("unknown guest signature");
}

unsigned Bits(Width width, unsigned pointerSize) {
  switch (width) {
    case Width::None:
      return 0;
    case Width::Bits8:
      return 8;
    case Width::Bits16:
      return 16;
    case Width::Bits32:
      return 32;
    case Width::Bits64:
      return 64;
    case Width::Natural:
      return pointerSize * 8;
  }
  return 64;
}

std::uint64_t Truncate(std::uint64_t value, Width width, unsigned pointerSize) {
  const unsigned bits = Bits(width, pointerSize);
  if (bits == 0) return 0;
  return bits >= 64 ? value : value & ((std::uint64_t{1} << bits) - 1);
}

}  // namespace boardsim::emulated
