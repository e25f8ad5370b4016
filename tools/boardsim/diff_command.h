// boardsim diff: two boots side by side (two boards, two image folders or
// two engines). Exit 0 when they do not differ, 1 when they do.
#pragma once

#include <string>
#include <vector>

namespace boardsim {

// The arguments after "diff"; throws std::invalid_argument on a usage error.
int RunDiff(const std::vector<std::string> &arguments);

std::string DiffUsage();

}  // namespace boardsim
