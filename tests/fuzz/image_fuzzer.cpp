// Images: the PE/TE parser, the TE conversion, and the emulated engine's
// loader. Malformed bytes are refused with the tools' own errors; whatever
// the converter accepts parses back as a TE image of the same machine.
#include <unicorn/unicorn.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "sim/engine/emulated/emulated_image.h"
#include "sim/engine/emulated/emulated_layout.h"
#include "sim/image/byte_reader.h"
#include "sim/image/firmware_layout.h"
#include "sim/image/image_contents.h"
#include "sim/image/image_headers.h"
#include "sim/image/te_converter.h"
#include "tests/fuzz/fuzz_check.h"

using namespace boardsim;
using namespace boardsim::emulated;

namespace {

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineX64 = 0x8664;

void ParseEverything(std::span<const std::uint8_t> bytes) {
  try {
    const auto headers = boardimage::ParseImage(bytes);
    boardimage::ReadBaseRelocations(headers, bytes);
    boardimage::ReadDebugDirectory(headers, bytes);
  } catch (const boardimage::ImageFormatError &) {
  }
}

void Convert(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> te;
  try {
    te = boardimage::ConvertToTe(bytes);
  } catch (const boardimage::ImageFormatError &) {
    return;
  } catch (const boardimage::TeConversionError &) {
    return;
  }
  try {
    const auto original = boardimage::ParseImage(bytes);
    const auto converted = boardimage::ParseImage(te);
    if (converted.format != boardimage::ImageFormat::Te) fuzz::Violated("the converter's output is no TE image");
    if (converted.machine != original.machine) fuzz::Violated("the converter changed the machine");
  } catch (const boardimage::ImageFormatError &error) {
    fuzz::Violated(std::string("the converter's output does not parse: ") + error.what());
  }
}

// Loads the bytes as the emulated engine loads BoardDxe or BoardPei, into a
// fresh machine's memory.
void Load(std::span<const std::uint8_t> bytes, bool pei) {
  ImageFile image;
  image.name = pei ? "BoardPei" : "BoardDxe";
  image.path = pei ? "fuzz.te" : "fuzz.efi";
  image.bytes.assign(bytes.begin(), bytes.end());
  try {
    ParseImageFile(image, pei ? boardimage::ImageFormat::Te : boardimage::ImageFormat::Pe32Plus,
                   pei ? kMachineI386 : kMachineX64);
  } catch (const boardimage::ImageFormatError &) {
    return;
  }
  uc_engine *uc = nullptr;
  if (uc_open(UC_ARCH_X86, pei ? UC_MODE_32 : UC_MODE_64, &uc) != UC_ERR_OK) fuzz::Violated("uc_open failed");
  {
    EmulatedMemory memory(uc, pei ? 4 : 8, [](GuestAddr address) { return HexAddress(address); });
    try {
      if (pei) {
        memory.Map(kBootFlashBase, kBootFlashSize, UC_PROT_READ | UC_PROT_EXEC, RegionKind::Flash,
                   memory.NewHostPages(kBootFlashSize));
        LoadPeiImage(image, memory, kBootFlashBase, kBootFlashSize, firmware_layout::kBoardPeiFlashAddress);
      } else {
        LoadDxeImage(image, memory, kDxeLoadAddress);
      }
    } catch (const std::runtime_error &) {
      // Refused with a message: what the engine reports to the user.
    }
  }
  uc_close(uc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  ParseEverything(bytes);
  Convert(bytes);
  Load(bytes, false);
  Load(bytes, true);
  return 0;
}
