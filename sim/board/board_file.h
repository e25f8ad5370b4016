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

#include <string>

#include "sim/board/board_config.h"
#include "sim/board/board_file_error.h"

namespace boardsim {

// The board as a complete board file, which ParseBoardJson reads back to the
// same board: a starting point for describing a new one.
std::string BoardToJson(const BoardConfig &board);

}  // namespace boardsim
