// The JSON layer of board files: text to a JSON value, refusing what a board
// file never needs and a hostile file could use against the reader: values
// nested deeper than a few levels, field names given twice or empty. Every
// refusal names the place in the file.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

namespace boardsim {

using BoardJson = nlohmann::ordered_json;

// The deepest a board file's values nest (its deepest, a MAC address as a
// list of bytes inside an endpoint inside the endpoint list, is 3 levels).
inline constexpr std::size_t kMaxBoardJsonDepth = 16;

// Throws BoardFileError: for malformed JSON with the line and column, for a
// refused value with its path ("pads[0].pad").
BoardJson ParseBoardFileJson(const std::string &text, const std::string &origin);

}  // namespace boardsim
