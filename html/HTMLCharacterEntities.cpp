#include "html/HTMLCharacterEntities.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <stdexcept>

#include "html/HTMLEntityTables.h"

namespace HTMLFilter {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;
// Longer than any name in the tables; a longer run cannot be one.
constexpr std::size_t kMaxNameLength = 40;

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool isAsciiAlnum(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

void appendCodePoint(std::u16string& out, char32_t c) {
  if (c > 0xFFFF) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

const HTML5Entity* findHTML5(std::string_view name) {
  const auto end = std::end(_HTML5Entities);
  const auto found = std::lower_bound(std::begin(_HTML5Entities), end, name,
                                      [](const HTML5Entity& e, std::string_view n) { return e.name < n; });
  return found != end && found->name == name ? found : nullptr;
}

// Printable ASCII that encode writes as itself.
constexpr std::array<bool, 128> kPlain = [] {
  std::array<bool, 128> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '&' && c != '<' && c != '>';
  return plain;
}();

}  // namespace

const HTMLCharacterEntities& HTMLCharacterEntities::instance() {
  static const HTMLCharacterEntities entities;
  return entities;
}

HTMLCharacterEntities::HTMLCharacterEntities() {
  for (const HTMLEntity& row : _HTMLEntities) {
    if (HTMLEntitiesByName.find(row.name) != HTMLEntitiesByName.end()) {
      throw std::logic_error("HTMLEntitiesByName.find(_HTMLEntities[i].name) == HTMLEntitiesByName.end()");
    }
    HTMLEntitiesByName.emplace(row.name, row.code);
    // HTML5 gave "lang" and "rang" other characters; browsers read "&lang;" as U+27E8, so
    // U+2329 is written by number to come back as itself.
    const std::string withSemicolon = std::string(row.name) + ';';
    if (const HTML5Entity* e = findHTML5(withSemicolon); e && (e->first != row.code || e->second)) continue;
    // A later row wins, so an alias listed before its standard name never gets written.
    namesByCode[row.code] = row.name;
  }
}

std::size_t HTMLCharacterEntities::readReference(std::u16string_view text, char32_t& first,
                                                 char32_t& second) const {
  second = 0;
  if (text.size() < 2) return 0;
  std::size_t i = 1;
  if (text[i] == u'#') {
    ++i;
    const bool hex = i < text.size() && (text[i] == u'x' || text[i] == u'X');
    if (hex) ++i;
    const std::size_t digitsStart = i;
    char32_t value = 0;
    for (; i < text.size(); ++i) {
      const char16_t c = text[i];
      unsigned digit;
      if (c >= u'0' && c <= u'9') {
        digit = c - u'0';
      } else if (hex && c >= u'a' && c <= u'f') {
        digit = c - u'a' + 10;
      } else if (hex && c >= u'A' && c <= u'F') {
        digit = c - u'A' + 10;
      } else {
        break;
      }
      // Saturate: any value past the last code point is as wrong as any other.
      value = std::min<char32_t>(value * (hex ? 16 : 10) + digit, kLastCodePoint + 1);
    }
    if (i == digitsStart || value == 0) return 0;
    first = value > kLastCodePoint || isSurrogate(value) ? kReplacement : value;
    if (i < text.size() && text[i] == u';') ++i;
    return i;
  }

  while (i < text.size() && isAsciiAlnum(text[i])) ++i;
  const std::size_t length = i - 1;
  if (length == 0 || length > kMaxNameLength) return 0;
  char buffer[kMaxNameLength + 1];
  for (std::size_t k = 0; k < length; ++k) buffer[k] = static_cast<char>(text[1 + k]);
  const bool semicolon = i < text.size() && text[i] == u';';
  if (semicolon) {
    buffer[length] = ';';
    if (const HTML5Entity* e = findHTML5(std::string_view(buffer, length + 1))) {
      first = e->first;
      second = e->second;
      return i + 1;
    }
  }
  const std::string_view name(buffer, length);
  if (const auto found = HTMLEntitiesByName.find(name); found != HTMLEntitiesByName.end()) {
    first = found->second;
    return semicolon ? i + 1 : i;
  }
  // The old names that browsers accept without ";" (a name written with one was tried above).
  if (const HTML5Entity* e = findHTML5(name)) {
    first = e->first;
    second = e->second;
    return i;
  }
  return 0;
}

void HTMLCharacterEntities::decodeAppend(std::u16string& out, std::u16string_view text, bool dropNul) const {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t run = i;
    while (run < text.size() && text[run] != u'&' && text[run] != 0) ++run;
    out.append(text.substr(i, run - i));
    i = run;
    if (i == text.size()) break;
    if (text[i] == 0) {
      if (!dropNul) out.push_back(0);
      ++i;
      continue;
    }
    char32_t first, second;
    if (const std::size_t length = readReference(text.substr(i), first, second)) {
      appendCodePoint(out, first);
      if (second) appendCodePoint(out, second);
      i += length;
    } else {
      out.push_back(u'&');
      ++i;
    }
  }
}

std::u16string HTMLCharacterEntities::decode(std::u16string_view text, bool dropNul) const {
  std::u16string out;
  out.reserve(text.size());
  decodeAppend(out, text, dropNul);
  return out;
}

void HTMLCharacterEntities::encodeCharacterAppend(std::string& out, char32_t code) const {
  if (code > kLastCodePoint || isSurrogate(code)) code = kReplacement;
  if (code <= 0xFFFF) {
    if (const auto found = namesByCode.find(static_cast<char16_t>(code)); found != namesByCode.end()) {
      out += '&';
      out += found->second;
      out += ';';
      return;
    }
  }
  char digits[8];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + code % 10);
    code /= 10;
  } while (code);
  out += "&#";
  while (n) out += digits[--n];
  out += ';';
}

std::string HTMLCharacterEntities::encodeCharacter(char32_t code) const {
  std::string out;
  encodeCharacterAppend(out, code);
  return out;
}

void HTMLCharacterEntities::encodeAppend(std::string& out, std::u16string_view text) const {
  out.reserve(out.size() + text.size() + 16);
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const char16_t c = text[i];
    if (c < 0x80 && kPlain[c]) {
      out.push_back(static_cast<char>(c));
      ++i;
    } else if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1])) {
      encodeCharacterAppend(out, 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      i += 2;
    } else {
      encodeCharacterAppend(out, c);
      ++i;
    }
  }
}

std::string HTMLCharacterEntities::encode(std::u16string_view text) const {
  std::string out;
  encodeAppend(out, text);
  return out;
}

}  // namespace HTMLFilter
