// A whole native boot driven by the fuzzer's bytes (see fuzzed_boot.h); the
// invariants of boot_invariants.h hold on every input.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "sim/engine/native/native_engine.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzzed_boot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const auto engine = boardsim::MakeNativeEngine(boardsim::DefaultModuleDirectory());
  boardsim::fuzz::ExpectNone(boardsim::fuzz::RunFuzzedBoot({data, size}, *engine).violations);
  return 0;
}
