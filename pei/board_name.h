// The board's product name, as other modules read it from the PCD database.
#pragma once

#include "board/pcd_tokens.h"
#include "uefi/base_types.h"

inline constexpr CHAR16 kBoardProductName[] = u"KRV7-DM3TQA";

// Bytes of a UTF-16 string including its terminating NUL, counted up to the
// first NUL so that the size follows the text, not the array holding it.
constexpr UINTN Utf16SizeWithNul(const CHAR16 *text) {
  UINTN units = 0;
  while (text[units] != 0) {
    ++units;
  }
  return (units + 1) * sizeof(CHAR16);
}

inline constexpr UINTN kBoardProductNameSize = Utf16SizeWithNul(kBoardProductName);
static_assert(kBoardProductNameSize == 24);
