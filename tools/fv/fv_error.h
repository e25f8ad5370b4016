// The packer's one error: a volume, file, section or image that does not
// parse, or an insertion it refuses. The message names what and where.
#pragma once

#include <stdexcept>

namespace boardfv {

class FvError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace boardfv
