// An interface table in guest memory whose slots lead to the simulated
// firmware: the slots a service fills reach it, every other slot reports an
// unexpected call.
#pragma once

#include <span>
#include <utility>

#include "sim/base/machine.h"
#include "sim/base/services.h"

namespace boardsim {

GuestAddr BuildServiceTable(Machine &machine, ServiceTable table, unsigned slots,
                            std::span<const std::pair<unsigned, Service>> filled);

}  // namespace boardsim
