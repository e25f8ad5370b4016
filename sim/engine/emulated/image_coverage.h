// Coverage of the images' code. When $BOARDSIM_COVERAGE_DIR names a folder,
// every emulated machine records each block of image code it runs, under the
// scenario the process says it is running, and the process writes what it
// saw to a file of its own in that folder when it ends: one line per block,
// "scenario<TAB>image<TAB>RVA<TAB>size", RVA and size in hexadecimal.
//
// A program may also watch the blocks as they run (the emulated fuzzing
// harness counts them for its fuzzer): one observer per process, told of
// every block of image code every machine runs. Without one the machines do
// no work for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace boardsim::emulated {

bool CoverageEnabled();
// Blocks run from now on count for this scenario (default: the program's name).
void SetCoverageScenario(const std::string &name);
void RecordCoverage(const std::string &image, std::uint32_t rva, std::uint32_t size);

// image: "BoardDxe" or "BoardPei"; rva: the block's first byte relative to
// the image's base; size: its bytes. Called on the thread that ran the block,
// after the emulator stops, blocks in the order they ran.
using BlockObserver = void (*)(std::string_view image, std::uint32_t rva, std::uint32_t size);
// Set before the first boot; null to stop watching.
void SetBlockObserver(BlockObserver observer);
BlockObserver TheBlockObserver();

}  // namespace boardsim::emulated
