// Faults that reach the emulated engine from a board or an image say what is
// wrong in the terms of the board file or the image: the window, the field,
// the section.
#include <gmock/gmock.h>

#include "sim/board/board_config.h"
#include "sim/engine/emulated/emulated_layout.h"
#include "tests/engine/engine_fixture.h"

namespace boardsim::testing {
namespace {

using ::testing::HasSubstr;

TEST_F(EngineTest, ControllerWindowOverTheDriversLoadWindowIsRefusedByName) {
  BoardConfig board = ShippedBoard();
  board.endpoints[0].bar0 = static_cast<std::uint32_t>(emulated::kDxeLoadAddress);
  Trace trace;
  HardwareModel hardware(board, trace);
  try {
    EmulatedMachine machine(Phase::Dxe, Hub(), hardware, ImageOf(Phase::Dxe));
    ADD_FAILURE() << "a controller window over the driver was mapped";
  } catch (const std::invalid_argument &error) {
    EXPECT_THAT(error.what(), HasSubstr("window at 0x01000000 overlaps the window BoardDxe is loaded into "
                                        "(0x01000000 to 0x010FFFFF); place it between 0x80000000"));
  }
}

TEST_F(EngineTest, DriverHeadersAndSectionsThatShareAPageAreRefusedByName) {
  const struct {
    const char *what;
    void (*damage)(boardimage::ImageHeaders &);
    const char *message;
  } kDamage[] = {
      {"no headers", [](boardimage::ImageHeaders &h) { h.sizeOfHeaders = 0; },
       "BoardDxe.efi: optional header SizeOfHeaders is 0"},
      {"headers reaching into .text", [](boardimage::ImageHeaders &h) { h.sizeOfHeaders = 0x1800; },
       "BoardDxe.efi: section .text (RVA 0x1000 to 0x1FFF) overlaps the headers (RVA 0x0 to 0x1FFF)"},
      {".rdata over .text", [](boardimage::ImageHeaders &h) { h.sections[1].virtualAddress = 0x1000; },
       "BoardDxe.efi: section .rdata (RVA 0x1000 to 0x1FFF) overlaps section .text (RVA 0x1000 to 0x1FFF)"},
  };
  for (const auto &[what, damage, message] : kDamage) {
    SCOPED_TRACE(what);
    auto image = std::make_shared<emulated::ImageFile>(*ImageOf(Phase::Dxe));
    damage(image->headers);
    Start(Phase::Dxe, image);
    try {
      Machine().LoadModule();
      ADD_FAILURE() << "the damaged driver was loaded";
    } catch (const std::runtime_error &error) {
      EXPECT_THAT(error.what(), HasSubstr(message));
    }
  }
}

TEST_F(EngineTest, BlockRunAfterStiIsAFaultNamingWhereItRan) {
  Start(Phase::Dxe);
  Code code;
  code.Bytes({0xFB, 0x90, 0xC3});  // sti; nop; ret
  const std::string message = FaultOf([&] { Run(Place(code)); });
  EXPECT_THAT(message, HasSubstr("BoardDxe: the code at 0x00110001 (scratch code+0x1) ran right after an instruction "
                                 "that changes the CPU's interrupt or trap state"));
}

}  // namespace
}  // namespace boardsim::testing
