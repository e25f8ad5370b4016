#include "sim/board/board_file_error.h"

#include <utility>

namespace boardsim {

BoardFileError::BoardFileError(std::string origin, std::string field, std::string problem)
    : std::runtime_error(origin + ": " + (field.empty() ? "" : field + ": ") + problem),
      origin_(std::move(origin)),
      field_(std::move(field)),
      problem_(std::move(problem)) {}

}  // namespace boardsim
