#include "platform/RegFileLines.h"

RegFileLines::RegFileLines(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    std::string_view line = text.substr(start, end - start);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    lines_.push_back(line);
    start = end + 1;
  }
}

std::optional<std::string_view> RegFileLines::Next() {
  if (next_ >= lines_.size()) {
    return std::nullopt;
  }
  return lines_[next_++];
}
