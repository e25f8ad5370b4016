// Where the board's firmware images live in flash and how much room each may
// take. The image build reads the numbers below from this file (the cross
// build in firmware/ parses the lines that define them), and host code
// includes it, so each fact exists once. Keep each of those definitions on
// one line with a literal value.
#pragma once

#include <cstdint>

namespace firmware_layout {

// BoardPei executes in place from the boot firmware volume, which occupies the
// top 128 KiB below 4 GiB. An emulator maps this whole region read-only,
// erased (0xFF) except for the module, as the board's flash behaves.
inline constexpr std::uint32_t kBootFlashBase = 0xFFFE0000;
inline constexpr std::uint32_t kBootFlashSize = 0x00020000;

// The IA-32 link base of BoardPei: the address its relative virtual address 0
// would have. Sections lie at kBoardPeiImageBase + RVA while the module runs.
inline constexpr std::uint32_t kBoardPeiImageBase = 0xFFFE0000;

// What the TE conversion strips from the linked PE32 image: lld-link's DOS
// header and stub (0x78 bytes), the PE signature (4), the file header (20) and
// the PE32 optional header with 16 data directories (224). The converter
// refuses an image whose headers are a different size, because the TE header
// would then not land at kBoardPeiFlashAddress.
inline constexpr std::uint32_t kBoardPeiStrippedSize = 0x170;
inline constexpr std::uint32_t kTeHeaderSize = 40;

// The first byte of BoardPei.te (its TE header) in flash. The header takes the
// place of the last 40 stripped bytes, so every section stays at its linked
// address: ImageBase + StrippedSize - 40.
inline constexpr std::uint32_t kBoardPeiFlashAddress = kBoardPeiImageBase + kBoardPeiStrippedSize - kTeHeaderSize;
static_assert(kBoardPeiFlashAddress == 0xFFFE0148);
static_assert(kBoardPeiFlashAddress >= kBootFlashBase);

// Flash budgets: the most bytes each image file may take.
inline constexpr std::uint32_t kBoardPeiBudget = 1024;
inline constexpr std::uint32_t kBoardDxeBudget = 4096;
static_assert(kBoardPeiFlashAddress - kBootFlashBase + kBoardPeiBudget <= kBootFlashSize);

// The image files the build produces (in <build>/firmware/) and their budgets.
struct FirmwareImage {
  const char *fileName;
  std::uint32_t budget;
};
inline constexpr FirmwareImage kFirmwareImages[] = {
    {"BoardDxe.efi", kBoardDxeBudget},
    {"BoardPei.te", kBoardPeiBudget},
};

}  // namespace firmware_layout
