#include "html/URI.h"

#include <cstddef>

namespace HTMLFilter {

namespace {

// What a browser trims from both ends of a URL before reading it: C0 controls and space.
bool trimmed(char16_t c) {
  return c <= u' ';
}

bool isAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isSchemeCharacter(char16_t c) {
  return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}

}  // namespace

URI::URI(std::u16string_view text) {
  // Nearly every URL in mail has no tab or line break: it is read in place, without a copy.
  std::u16string cleaned;
  std::u16string_view source = text;
  if (source.find_first_of(u"\t\r\n") != std::u16string_view::npos) {
    cleaned.reserve(text.size());
    for (const char16_t c : text) {
      if (c != u'\t' && c != u'\r' && c != u'\n') cleaned.push_back(c);
    }
    source = cleaned;
  }
  std::size_t begin = 0;
  std::size_t end = source.size();
  while (begin < end && trimmed(source[begin])) ++begin;
  while (end > begin && trimmed(source[end - 1])) --end;
  const std::u16string_view rest = source.substr(begin, end - begin);

  // A scheme starts with a letter: "2x:y", "+a:b" and ":y" are relative references to a
  // browser, so they keep their whole text (with the ":") as the remainder.
  if (rest.empty() || !isAsciiLetter(rest[0])) {
    remainder = rest;
    return;
  }
  std::size_t i = 0;
  while (i < rest.size() && isSchemeCharacter(rest[i])) ++i;
  if (i == rest.size() || rest[i] != u':') {
    remainder = rest;
    return;
  }
  scheme.reserve(i);
  for (std::size_t k = 0; k < i; ++k) {
    const char16_t c = rest[k];
    scheme.push_back((c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c);
  }
  remainder = rest.substr(i + 1);
}

std::u16string URI::text() const {
  if (scheme.empty()) return remainder;
  std::u16string result;
  result.reserve(scheme.size() + 1 + remainder.size());
  result += scheme;
  result += u':';
  result += remainder;
  return result;
}

void URI::takeSchemeFrom(const URI& base) {
  if (scheme.empty()) scheme = base.scheme;
}

void URI::clear() {
  scheme.clear();
  remainder.clear();
}

}  // namespace HTMLFilter
