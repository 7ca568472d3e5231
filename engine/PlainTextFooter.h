#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "mailparser/IOutputLine.h"

namespace MailParser {

// The plain-text footer at the end of a text written line by line. It goes in unless the text
// already ends with it, so that a message filtered twice (fetched again, or filtered on its
// way here before) carries it once: the last lines of the text are kept to tell.
class PlainTextFooter {
 public:
  PlainTextFooter() = default;
  // An empty footer is none: nothing is kept and nothing written.
  explicit PlainTextFooter(std::string footer) : footer_(std::move(footer)) {}

  [[nodiscard]] bool empty() const noexcept { return footer_.empty(); }

  // Each line of the text, as it came and without its line break.
  void rememberLine(std::string_view line);

  // Writes the footer as one output line, unless the text ends with it.
  void writeUnlessPresent(IOutputLine& out) const;

 private:
  std::string footer_;
  // The end of the text so far, each line after a CR LF (the first one too, so that a text
  // that is the footer alone ends with it).
  std::string tail_;
};

}  // namespace MailParser
