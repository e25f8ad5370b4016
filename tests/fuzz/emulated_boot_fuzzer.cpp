// A whole boot of the real images on the emulated engine, driven by the
// fuzzer's bytes (see fuzzed_boot.h) and guided by the images' own code: the
// engine tells the harness of every block of image code a boot runs, and the
// harness counts it in a table libFuzzer reads after each input, one counter
// per byte of each image's code, so a counter moves exactly when a block
// starts at that byte. The invariants of boot_invariants.h hold on every
// input.
//
// The table reaches libFuzzer as a module of its own, with
// __sanitizer_cov_8bit_counters_init and a PC table from
// __sanitizer_cov_pcs_init, rather than as an array in the
// __libfuzzer_extra_counters section: its size comes from the images when the
// harness starts instead of being fixed when it is compiled, and libFuzzer
// counts a module's entries as PCs, so the "cov:" figure of its status lines
// is the number of image block starts the corpus reaches (the table's "PCs"
// are 0x100000000 + RVA for BoardDxe, 0x200000000 + RVA for BoardPei). The
// replay program, built without libFuzzer, finds neither function and counts
// into a table no one reads.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/engine/emulated/emulated_engine.h"
#include "sim/engine/emulated/emulated_image.h"
#include "sim/engine/emulated/image_coverage.h"
#include "sim/image/pe_format.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzzed_boot.h"

extern "C" {
[[gnu::weak]] void __sanitizer_cov_8bit_counters_init(std::uint8_t *begin, std::uint8_t *end);
[[gnu::weak]] void __sanitizer_cov_pcs_init(const std::uintptr_t *begin, const std::uintptr_t *end);
}

namespace {

using boardsim::emulated::ImageFile;

// One image's code in the table: its executable sections' bytes, by RVA.
struct CodeRange {
  std::string image;
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
  std::size_t firstSlot = 0;
};

class ImageBlockCounters {
 public:
  explicit ImageBlockCounters(const std::vector<ImageFile> &images) {
    for (std::size_t i = 0; i < images.size(); ++i)
      for (const auto &section : images[i].headers.sections) {
        if (!section.Executable() || section.virtualSize == 0) continue;
        ranges_.push_back({images[i].name, section.virtualAddress, section.virtualSize, counters_.size()});
        const std::uintptr_t tag = std::uintptr_t{i + 1} << 32;
        for (std::uint32_t offset = 0; offset < section.virtualSize; ++offset) {
          counters_.push_back(0);
          // A PC table entry is a PC and its flags (none: not a function's entry).
          pcs_.push_back(tag + section.virtualAddress + offset);
          pcs_.push_back(0);
        }
      }
  }

  // libFuzzer keeps the pointers: the table never moves after this.
  void Register() {
    if (counters_.empty() || __sanitizer_cov_8bit_counters_init == nullptr || __sanitizer_cov_pcs_init == nullptr)
      return;
    __sanitizer_cov_8bit_counters_init(counters_.data(), counters_.data() + counters_.size());
    __sanitizer_cov_pcs_init(pcs_.data(), pcs_.data() + pcs_.size());
  }

  void Count(std::string_view image, std::uint32_t rva) {
    for (const auto &range : ranges_)
      if (range.image == image && rva >= range.rva && rva - range.rva < range.size) {
        std::uint8_t &counter = counters_[range.firstSlot + (rva - range.rva)];
        // Saturating: a loop that runs 256 times must not look like one that never ran.
        if (counter != 0xFF) ++counter;
        return;
      }
  }

 private:
  std::vector<CodeRange> ranges_;
  std::vector<std::uint8_t> counters_;
  std::vector<std::uintptr_t> pcs_;
};

void CountBlock(std::string_view image, std::uint32_t rva, std::uint32_t size);

struct Harness {
  Harness()
      : engine(boardsim::MakeEmulatedEngine(boardsim::DefaultFirmwareDirectory())),
        counters(std::vector<ImageFile>{
            boardsim::emulated::ReadImageFile(boardsim::DefaultFirmwareDirectory() / "BoardDxe.efi", "BoardDxe",
                                              boardimage::ImageFormat::Pe32Plus, boardimage::pe::kMachineX64),
            boardsim::emulated::ReadImageFile(boardsim::DefaultFirmwareDirectory() / "BoardPei.te", "BoardPei",
                                              boardimage::ImageFormat::Te, boardimage::pe::kMachineI386)}) {
    counters.Register();
    boardsim::emulated::SetBlockObserver(&CountBlock);
  }
  std::unique_ptr<boardsim::Engine> engine;
  ImageBlockCounters counters;
};

Harness &TheHarness() {
  static Harness harness;
  return harness;
}

void CountBlock(std::string_view image, std::uint32_t rva, std::uint32_t) { TheHarness().counters.Count(image, rva); }

}  // namespace

// Before libFuzzer counts its modules, so that it sees the table from the start.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  TheHarness();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  boardsim::fuzz::ExpectNone(boardsim::fuzz::RunFuzzedBoot({data, size}, *TheHarness().engine).violations);
  return 0;
}
