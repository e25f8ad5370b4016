// The hook protocol's BOOLEAN answers. A BOOLEAN result is AL alone: these
// set AL and leave bits 8 to 63 of RAX as the caller had them. The compiler
// clears the whole register for a BOOLEAN return, so the images take these
// from hal/ (one instruction and a return each) and host builds from the
// simulated board.
#pragma once

#include "uefi/base_types.h"

BOOLEAN EFIAPI BooleanAnswerFalse();
BOOLEAN EFIAPI BooleanAnswerTrue();
