// Coverage of the images' code. When $BOARDSIM_COVERAGE_DIR names a folder,
// every emulated machine records each block of image code it runs, under the
// scenario the process says it is running, and the process writes what it
// saw to a file of its own in that folder when it ends: one line per block,
// "scenario<TAB>image<TAB>RVA<TAB>size", RVA and size in hexadecimal.
#pragma once

#include <cstdint>
#include <string>

namespace boardsim::emulated {

bool CoverageEnabled();
// Blocks run from now on count for this scenario (default: the program's name).
void SetCoverageScenario(const std::string &name);
void RecordCoverage(const std::string &image, std::uint32_t rva, std::uint32_t size);

}  // namespace boardsim::emulated
