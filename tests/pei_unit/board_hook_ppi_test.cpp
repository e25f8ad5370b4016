// The board's constant BOARD_HOOK_PPI instance and its BoardInfo member.
#include "pei/board_hook_ppi.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "uefi/status.h"

namespace {

constexpr std::uint8_t kUntouched = 0xCC;

// Calls BoardInfo with Info and Flag inside a guarded buffer, Flag right after
// Info, and checks every byte around them is left as it was.
void ExpectBoardInfoOutputs(BOARD_HOOK_PPI_BOARD_INFO boardInfo, VOID *first, VOID *second) {
  std::array<UINT8, 16> memory;
  memory.fill(kUntouched);
  UINT8 *info = memory.data() + 4;
  UINT8 *flag = info + 4;

  EXPECT_EQ(boardInfo(first, second, info, flag), EFI_SUCCESS);

  const std::array<UINT8, 16> expected = {kUntouched, kUntouched, kUntouched, kUntouched, 0x15,       0x1B,
                                          0x01,       0x01,       0x01,       kUntouched, kUntouched, kUntouched,
                                          kUntouched, kUntouched, kUntouched, kUntouched};
  EXPECT_EQ(memory, expected);
}

TEST(BoardInfo, FillsFourBytesAndFlagWhateverTheFirstTwoArguments) {
  std::array<UINT8, 8> decoy{};
  ExpectBoardInfoOutputs(BoardInfo, nullptr, nullptr);
  ExpectBoardInfoOutputs(BoardInfo, decoy.data(), decoy.data() + 1);
  // Pointers that would fault if dereferenced: the arguments are not read.
  ExpectBoardInfoOutputs(BoardInfo, reinterpret_cast<VOID *>(std::uintptr_t{1}),
                         reinterpret_cast<VOID *>(~std::uintptr_t{0}));
  EXPECT_EQ(decoy, (std::array<UINT8, 8>{}));
}

TEST(BoardInfo, LeavesNeighboursOfSeparateOutputsUntouched) {
  std::array<UINT8, 12> memory;
  memory.fill(kUntouched);
  EXPECT_EQ(BoardInfo(nullptr, nullptr, memory.data() + 1, memory.data() + 9), EFI_SUCCESS);
  const std::array<UINT8, 12> expected = {kUntouched, 0x15,       0x1B,       0x01, 0x01,       kUntouched,
                                          kUntouched, kUntouched, kUntouched, 0x01, kUntouched, kUntouched};
  EXPECT_EQ(memory, expected);
}

TEST(BoardHookPpi, AnswersFalseAtMember0AndTrueAtMember4) {
  ASSERT_NE(kBoardHookPpi.Member0, nullptr);
  ASSERT_NE(kBoardHookPpi.Member4, nullptr);
  EXPECT_EQ(kBoardHookPpi.Member0(), FALSE);
  EXPECT_EQ(kBoardHookPpi.Member4(), TRUE);
}

TEST(BoardHookPpi, Member3IsBoardInfo) {
  ASSERT_NE(kBoardHookPpi.BoardInfo, nullptr);
  ExpectBoardInfoOutputs(kBoardHookPpi.BoardInfo, nullptr, nullptr);
}

TEST(BoardHookPpi, OtherMembersAreEmpty) {
  EXPECT_EQ(kBoardHookPpi.Member1, nullptr);
  EXPECT_EQ(kBoardHookPpi.Member2, nullptr);
  EXPECT_EQ(kBoardHookPpi.Member5, nullptr);
  EXPECT_EQ(kBoardHookPpi.Member6, nullptr);
  EXPECT_EQ(kBoardHookPpi.Member7, nullptr);
  EXPECT_EQ(kBoardHookPpi.Member8, nullptr);
  EXPECT_EQ(kBoardHookPpi.Member9, nullptr);
}

}  // namespace
