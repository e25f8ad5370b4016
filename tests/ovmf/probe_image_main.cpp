// ovmf_probe_image: the image the real-core tests boot. It is the patched OVMF
// image (BoardPei and BoardDxe in it) with the PEI probe added to the PEI
// volume as a PEIM that waits for BOARD_HOOK_PPI.
//
//   ovmf_probe_image PATCHED.fd OvmfProbePeim.pe32 PEI-VOLUME-GUID OUTPUT.fd
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "board/guids.h"
#include "tools/files/input_file.h"
#include "tools/files/output_file.h"
#include "tools/fv/board_modules.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/image_patch.h"

namespace {

// A PE32 image: the PEI core relocates it in place in the RAM-resident
// volume, so it needs no rebasing.
constexpr boardfv::BoardModule kPeiProbe = {
    .baseName = "OvmfProbePeim",
    .fileGuid = boardfv::Guid::FromText("5D1E6A0C-3B7F-4E52-9A61-0C2F8B4D7E13"),
    .fileType = boardfv::ffs::kFileTypePeim,
    .depexSectionType = boardfv::ffs::kSectionPeiDepex,
    .imageSectionType = boardfv::ffs::kSectionPe32,
    .moduleType = "PEIM",
    .architecture = "IA32",
    .imageFileName = "OvmfProbePeim.pe32",
    .imageBinaryType = "PE32",
    .depexBinaryType = "PEI_DEPEX",
    .depexExpression = "gBoardHookPpiGuid",
    .dependsOn = boardfv::FromFirmware(gBoardHookPpiGuid),
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: ovmf_probe_image PATCHED.fd OvmfProbePeim.pe32 PEI-VOLUME-GUID OUTPUT.fd\n");
    return 2;
  }
  try {
    const auto volume = boardfv::Guid::Parse(argv[3]);
    if (!volume) throw boardfv::FvError(std::string("'") + argv[3] + "' is not a volume GUID");
    const boardfv::Insertion probe{
        .volume = *volume,
        .volumeAddress = std::nullopt,
        .file = boardfv::BuildModuleFile(kPeiProbe, boardfiles::ReadInputFile(argv[2])),
    };
    boardfiles::WriteOutputFile(argv[4], boardfv::InsertIntoImage(boardfiles::ReadInputFile(argv[1]), {&probe, 1}));
    return 0;
  } catch (const std::exception &error) {
    std::fprintf(stderr, "ovmf_probe_image: %s\n", error.what());
    return 1;
  }
}
