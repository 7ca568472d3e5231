#include "engine/PlainTextFooter.h"

namespace MailParser {

// Only as much of the text as the footer and the line break before it take is kept, so that a
// long text costs nothing more. A line at least that long leaves its own last bytes, with no
// line start among them.
void PlainTextFooter::rememberLine(std::string_view line) {
  if (footer_.empty()) {
    return;
  }
  const std::size_t keep = footer_.size() + 2;
  if (line.size() >= keep) {
    tail_.assign(line.substr(line.size() - keep));
    return;
  }
  tail_ += "\r\n";
  tail_ += line;
  if (tail_.size() > 2 * keep) {
    tail_.erase(0, tail_.size() - keep);
  }
}

// The footer counts only when it starts a line: a last line that merely ends like it is text.
void PlainTextFooter::writeUnlessPresent(IOutputLine& out) const {
  if (footer_.empty()) {
    return;
  }
  const bool present = tail_.size() >= footer_.size() + 2 && tail_.ends_with(footer_) &&
                       tail_.compare(tail_.size() - footer_.size() - 2, 2, "\r\n") == 0;
  if (!present) {
    out.outputLine(footer_);
  }
}

}  // namespace MailParser
