// Board files: a board described in JSON, so a firmware engineer can try a
// board state without recompiling. The fields mirror BoardConfig:
//
//   {
//     "base": "x8",                       optional: start from a named board
//                                         (default "shipped"); fields given
//                                         replace the base's value whole
//     "name": "...", "description": "...",
//     "pchDeviceId": "0xA305",            numbers: JSON integers or "0x.." strings
//     "pads": [{"pad": "0x030A0001", "owner": 0, "level": 1},
//              {"pad": {"group": "GPP_K", "index": 2}, "dw0": "0x44000102"}],
//     "bridges": [{"bdf": "00:1C.0", "secondaryBus": 2, "subordinateBus": 2}],
//     "endpoints": [{"bus": 2, "vendorDevice": "0x15338086", "command": "0x06",
//                    "bar0": "0xD0000000", "mac": "02:4B:52:56:37:01"}],
//     "pcdTokens": [{"token": "0x18C", "bridge": "00:1C.0"},      DXE PCD database: a
//                   {"token": 8, "size": 4, "value": "0xA5A500E0"}],  bridge, or any value
//     "peiPcdSizes": [{"token": 5, "size": 24}],
//     "smbiosSlots": [{"instance": 1, "handle": "0x0027", "designation": "..."}],
//     "setupStringService": true, "smbiosService": true, "portLocator": true, "pcdPpi": true,
//     "failures": [{"service": "SMBIOS.ReadStructure", "nth": 1, "status": "EFI_NOT_FOUND"}]
//   }
//
// A pad given by group takes the chipset id of the board's PCH series. A
// file's board is named after the file unless it says "name".
//
// LoadBoardFile and ParseBoardJson are declared in sim/board_config.h.
#pragma once

#include <stdexcept>
#include <string>

#include "sim/board/board_config.h"

namespace boardsim {

// A board file that cannot be used: names the file, the field
// ("pads[2].owner", or "line 3, column 5" for malformed JSON) and the problem.
class BoardFileError : public std::runtime_error {
 public:
  BoardFileError(std::string origin, std::string field, std::string problem);

  const std::string &Origin() const { return origin_; }
  const std::string &Field() const { return field_; }
  const std::string &Problem() const { return problem_; }

 private:
  std::string origin_;
  std::string field_;
  std::string problem_;
};

// The board as a complete board file, which ParseBoardJson reads back to the
// same board: a starting point for describing a new one.
std::string BoardToJson(const BoardConfig &board);

}  // namespace boardsim
