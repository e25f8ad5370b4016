#include "board_hook_ppi.h"

#include "uefi/status.h"

namespace {

BOOLEAN EFIAPI AnswerFalse() { return FALSE; }
BOOLEAN EFIAPI AnswerTrue() { return TRUE; }

}  // namespace

EFI_STATUS EFIAPI BoardInfo(VOID *, VOID *, UINT8 *Info, UINT8 *Flag) {
  Info[0] = kBoardInfoBytes[0];
  Info[1] = kBoardInfoBytes[1];
  Info[2] = kBoardInfoBytes[2];
  Info[3] = kBoardInfoBytes[3];
  *Flag = kBoardInfoFlag;
  return EFI_SUCCESS;
}

constexpr BOARD_HOOK_PPI kBoardHookPpi = {
    .Member0 = AnswerFalse,
    .Member1 = nullptr,
    .Member2 = nullptr,
    .BoardInfo = BoardInfo,
    .Member4 = AnswerTrue,
    .Member5 = nullptr,
    .Member6 = nullptr,
    .Member7 = nullptr,
    .Member8 = nullptr,
    .Member9 = nullptr,
};
