#include "config/CommaText.h"

#include <utility>

namespace {

// NUL counts as a blank: a value read from the settings may hold one (a UTF-16 value with
// NUL units, a NUL inside a quoted string of the file), and it separates items like any
// other control character.
bool IsBlank(char c) noexcept {
  return static_cast<unsigned char>(c) <= ' ';
}

bool NeedsQuotes(std::string_view item) noexcept {
  for (const char c : item) {
    if (IsBlank(c) || c == '"' || c == ',') {
      return true;
    }
  }
  return false;
}

std::size_t SkipBlanks(std::string_view text, std::size_t pos) noexcept {
  while (pos < text.size() && IsBlank(text[pos])) {
    ++pos;
  }
  return pos;
}

// text[pos] is the opening quote. A doubled quote stands for one; an unterminated item runs
// to the end of the text. Returns the position after the closing quote.
std::size_t ReadQuoted(std::string_view text, std::size_t pos, std::string& item) {
  for (++pos; pos < text.size(); ++pos) {
    if (text[pos] == '"') {
      if (pos + 1 < text.size() && text[pos + 1] == '"') {
        item += '"';
        ++pos;
        continue;
      }
      return pos + 1;
    }
    item += text[pos];
  }
  return pos;
}

std::size_t ReadUnquoted(std::string_view text, std::size_t pos, std::string& item) {
  const std::size_t start = pos;
  while (pos < text.size() && !IsBlank(text[pos]) && text[pos] != ',') {
    ++pos;
  }
  item.assign(text.substr(start, pos - start));
  return pos;
}

}  // namespace

std::string JoinCommaText(const std::vector<std::string>& items) {
  if (items.size() == 1 && items.front().empty()) {
    return "\"\"";  // otherwise indistinguishable from an empty list
  }
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) {
      text += ',';
    }
    if (!NeedsQuotes(items[i])) {
      text += items[i];
      continue;
    }
    text += '"';
    for (const char c : items[i]) {
      text += c;
      if (c == '"') {
        text += '"';
      }
    }
    text += '"';
  }
  return text;
}

std::vector<std::string> SplitCommaText(std::string_view text) {
  std::vector<std::string> items;
  std::size_t pos = SkipBlanks(text, 0);
  // Every round consumes at least one byte: it starts on a byte that is not a blank, and
  // either reads a quoted item (at least its quote), an unquoted one (at least one byte), or
  // an empty one before a "," that it then consumes.
  while (pos < text.size()) {
    std::string item;
    pos = text[pos] == '"' ? ReadQuoted(text, pos, item) : ReadUnquoted(text, pos, item);
    items.push_back(std::move(item));
    pos = SkipBlanks(text, pos);
    if (pos < text.size() && text[pos] == ',') {
      ++pos;
      if (pos == text.size()) {
        items.emplace_back();
      }
      pos = SkipBlanks(text, pos);
    }
  }
  return items;
}
