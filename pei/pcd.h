// Reaching PCD_PPI from inside the module.
#pragma once

#include "pi/pcd_ppi.h"

// The PCD service, located through the PEI services pointer that the PEI core
// keeps just below the IDT base; NULL when it is not installed.
PCD_PPI *LocatePcdPpi();
