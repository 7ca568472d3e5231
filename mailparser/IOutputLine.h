#pragma once

#include <cstddef>
#include <string_view>

namespace MailParser {

// Where the engine writes the lines of the rewritten message: one call per line, without its
// line break. A text that holds line breaks is cut into lines by the caller, never here.
class IOutputLine {
 public:
  virtual ~IOutputLine() = default;

  virtual void outputLine(std::string_view line) = 0;

  // Writes `line` as it is when it is at most maxLength bytes long; otherwise as consecutive
  // pieces of maxLength bytes (the last one shorter), each a line of its own. A maxLength of
  // 0 is taken as "no limit", since no piece could be written.
  void outputLine(std::string_view line, std::size_t maxLength);
};

}  // namespace MailParser
