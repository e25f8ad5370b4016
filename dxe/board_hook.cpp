// The constant BOARD_HOOK_PROTOCOL instance and its installation.
#include "board_hook.h"

#include "board/guids.h"
#include "hw/boolean_answers.h"
#include "module_globals.h"

namespace {

UINT64 EFIAPI AnswerZero() { return 0; }

constexpr BOARD_HOOK_PROTOCOL kBoardHookProtocol = {
    .Member0 = BooleanAnswerFalse,
    .Member1 = AnswerZero,
    .Member2 = BooleanAnswerFalse,
    .Member3 = nullptr,
    .LanMacQuery = LanMacQuery,
    .Member5 = BooleanAnswerTrue,
    .Member6 = AnswerZero,
    .Member7 = nullptr,
};

}  // namespace

EFI_STATUS InstallBoardHookProtocol() {
  EFI_HANDLE handle = nullptr;  // NULL: the core creates a new handle
  // Consumers only call through the table; it stays in read-only data.
  return gBS->InstallProtocolInterface(&handle, &gBoardHookProtocolGuid, EFI_NATIVE_INTERFACE,
                                       const_cast<BOARD_HOOK_PROTOCOL *>(&kBoardHookProtocol));
}
