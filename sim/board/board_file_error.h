// The error a board file that cannot be used raises, from the JSON layer and
// from the reader of its fields alike.
#pragma once

#include <stdexcept>
#include <string>

namespace boardsim {

// Names the file, the field ("pads[2].owner", or "line 3, column 5" for
// malformed JSON) and the problem.
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

}  // namespace boardsim
