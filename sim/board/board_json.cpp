#include "sim/board/board_json.h"

#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "sim/base/board_text.h"
#include "sim/board/board_file_error.h"

namespace boardsim {
namespace {

using DomBuilder = nlohmann::detail::json_sax_dom_parser<BoardJson>;

// "line 3, column 5" of a byte position in the text (positions count from 1).
std::string LineAndColumn(const std::string &text, std::size_t position) {
  const std::size_t end = std::min(position == 0 ? 0 : position - 1, text.size());
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The parser's own explanation, without its exception name and position,
// and with the token it last read cut short.
std::string ParseDetail(const std::string &what) {
  std::string detail = what;
  const auto column = what.find("column ");
  if (column != std::string::npos) {
    const auto colon = what.find(": ", column);
    if (colon != std::string::npos) detail = what.substr(colon + 2);
  }
  const std::string lastRead = "last read: '";
  const auto token = detail.find(lastRead);
  if (token == std::string::npos) return detail;
  const auto start = token + lastRead.size();
  const auto end = detail.rfind('\'');
  if (end == std::string::npos || end < start) return detail.substr(0, start) + Clipped(detail.substr(start));
  return detail.substr(0, start) + Clipped(detail.substr(start, end - start)) + "'";
}

// Builds the value as nlohmann's own DOM builder does, keeping the path of
// where the parser is, and stops at the first refused value.
class CheckedBuilder {
 public:
  explicit CheckedBuilder(BoardJson &root) : dom_(root, false) {}

  bool null() { return Scalar() && dom_.null(); }
  bool boolean(bool value) { return Scalar() && dom_.boolean(value); }
  bool number_integer(BoardJson::number_integer_t value) { return Scalar() && dom_.number_integer(value); }
  bool number_unsigned(BoardJson::number_unsigned_t value) { return Scalar() && dom_.number_unsigned(value); }
  bool number_float(BoardJson::number_float_t value, const BoardJson::string_t &text) {
    return Scalar() && dom_.number_float(value, text);
  }
  bool string(BoardJson::string_t &value) { return Scalar() && dom_.string(value); }
  bool binary(BoardJson::binary_t &value) { return Scalar() && dom_.binary(value); }

  bool start_object(std::size_t size) { return Open(true) && dom_.start_object(size); }
  bool start_array(std::size_t size) { return Open(false) && dom_.start_array(size); }
  bool end_object() { return Close() && dom_.end_object(); }
  bool end_array() { return Close() && dom_.end_array(); }

  bool key(BoardJson::string_t &name) {
    Frame &object = frames_.back();
    if (name.empty()) return Refuse(object.path.empty() ? "(top level)" : object.path, "a field with an empty name");
    if (!object.keys.insert(name).second) return Refuse(Child(object.path, name), "this field is given twice");
    object.key = name;
    return dom_.key(name);
  }

  bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &error) {
    parseError_ = {position, error.what()};
    return false;
  }

  // The refusal (field, problem), if a value was refused.
  const std::optional<std::pair<std::string, std::string>> &Refusal() const { return refusal_; }
  // The position and message of malformed JSON.
  const std::optional<std::pair<std::size_t, std::string>> &ParseError() const { return parseError_; }

 private:
  struct Frame {
    std::string path;
    bool object = false;
    std::size_t index = 0;
    std::set<std::string> keys;
    std::string key;
  };

  static std::string Child(const std::string &path, const std::string &name) {
    return path.empty() ? Clipped(name) : path + "." + Clipped(name);
  }

  // The path of the value about to start.
  std::string Here() const {
    if (frames_.empty()) return "";
    const Frame &parent = frames_.back();
    return parent.object ? Child(parent.path, parent.key) : parent.path + "[" + std::to_string(parent.index) + "]";
  }

  // A value in a list moves the list on to its next entry.
  void Completed() {
    if (!frames_.empty() && !frames_.back().object) ++frames_.back().index;
  }

  bool Scalar() {
    Completed();
    return true;
  }

  bool Open(bool object) {
    std::string path = Here();
    if (frames_.size() >= kMaxBoardJsonDepth)
      return Refuse(path, "nested more than " + std::to_string(kMaxBoardJsonDepth) +
                              " levels deep; a board file needs no more than 3");
    frames_.push_back({std::move(path), object, 0, {}, {}});
    return true;
  }

  bool Close() {
    frames_.pop_back();
    Completed();
    return true;
  }

  bool Refuse(std::string field, std::string problem) {
    refusal_ = {std::move(field), std::move(problem)};
    return false;
  }

  DomBuilder dom_;
  std::vector<Frame> frames_;
  std::optional<std::pair<std::string, std::string>> refusal_;
  std::optional<std::pair<std::size_t, std::string>> parseError_;
};

}  // namespace

BoardJson ParseBoardFileJson(const std::string &text, const std::string &origin) {
  BoardJson root;
  CheckedBuilder builder(root);
  if (BoardJson::sax_parse(text, &builder)) return root;
  if (const auto &refusal = builder.Refusal()) throw BoardFileError(origin, refusal->first, refusal->second);
  const auto &error = builder.ParseError();
  const std::size_t position = error ? error->first : text.size();
  const std::string detail = error ? ParseDetail(error->second) : "the parser stopped";
  throw BoardFileError(origin, LineAndColumn(text, position), "malformed JSON: " + detail);
}

}  // namespace boardsim
