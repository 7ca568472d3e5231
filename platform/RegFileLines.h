#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

// The lines of a settings file's text, read front to back. The reading position lives here
// and moves only by Next(), so whoever takes lines (the parser's loop, or a hex list that
// continues onto the following lines) visibly takes them from the one cursor it was given.
class RegFileLines {
 public:
  // Splits at LF and drops one CR before it; a final LF starts no further line.
  explicit RegFileLines(std::string_view text);

  [[nodiscard]] bool Empty() const noexcept { return lines_.empty(); }
  // The next line, or nothing after the last one (the position then stays on the last).
  [[nodiscard]] std::optional<std::string_view> Next();
  // The number, counted from 1, of the line Next() returned last; 0 before the first.
  [[nodiscard]] std::size_t Number() const noexcept { return next_; }

 private:
  std::vector<std::string_view> lines_;
  std::size_t next_ = 0;
};
