#include "html/HTMLCharacterEntities.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "html/HTMLEntityTables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace HTMLFilter {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;
// Longer than any name in the tables; a longer run cannot be one.
constexpr std::size_t kMaxNameLength = 40;
constexpr std::size_t kMaxLegacyNameLength = 6;

bool isSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}
bool isHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}
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
  // Compared without measuring each table name first.
  const auto less = [](const HTML5Entity& e, std::string_view n) {
    for (std::size_t k = 0; k < n.size(); ++k) {
      if (e.name[k] != n[k]) return static_cast<unsigned char>(e.name[k]) < static_cast<unsigned char>(n[k]);
    }
    return false;  // n is a prefix of e.name (or equal): not less
  };
  const auto found = std::lower_bound(std::begin(_HTML5Entities), end, name, less);
  return found != end && found->name == name ? found : nullptr;
}

// Printable ASCII that encode writes as itself.
constexpr std::array<bool, 128> kPlain = [] {
  std::array<bool, 128> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '&' && c != '<' && c != '>';
  return plain;
}();

// Whether the eight characters at text are all ones that encode writes as they stand; if
// so, writes them narrowed to bytes at out. The fast path for the ASCII of most mail text.
[[gnu::always_inline]] inline bool copyPlainBlock([[maybe_unused]] const char16_t* text,
                                                  [[maybe_unused]] char* out) {
#if defined(__SSE2__)
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  // Signed compares: 0x8000 and up are negative and so fall below the space.
  __m128i bad =
      _mm_or_si128(_mm_cmplt_epi16(v, _mm_set1_epi16(0x20)), _mm_cmpgt_epi16(v, _mm_set1_epi16(0x7F)));
  bad = _mm_or_si128(
      bad, _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('"')), _mm_cmpeq_epi16(v, _mm_set1_epi16('&'))));
  bad = _mm_or_si128(
      bad, _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('<')), _mm_cmpeq_epi16(v, _mm_set1_epi16('>'))));
  if (_mm_movemask_epi8(bad) != 0) return false;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(v, v));
  return true;
#else
  return false;
#endif
}

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
  for (const auto& [code, name] : namesByCode) {
    Reference* slot = code < kLowNamesEnd ? &lowNames[code]
                      : code >= kSymbolNamesBegin && code < kSymbolNamesEnd
                          ? &symbolNames[code - kSymbolNamesBegin]
                          : nullptr;
    if (!slot || name.size() + 2 > sizeof slot->text) {
      throw std::logic_error("entity outside the encoder's slots: " + name);
    }
    const std::string reference = "&" + name + ";";
    std::memcpy(slot->text, reference.data(), reference.size());
    slot->length = static_cast<std::uint8_t>(reference.size());
  }
  // Below 0x400 the numeric references are made once here, so that the encoder copies
  // every reference of Latin text from the table.
  for (char16_t code = 0; code < kLowNamesEnd; ++code) {
    if (lowNames[code].length) continue;
    const std::string reference = "&#" + std::to_string(code) + ";";
    std::memcpy(lowNames[code].text, reference.data(), reference.size());
    lowNames[code].length = static_cast<std::uint8_t>(reference.size());
  }
}

std::size_t HTMLCharacterEntities::readReference(std::u16string_view text, bool inAttribute, char32_t& first,
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
  const std::size_t run = i - 1;
  if (run == 0) return 0;
  const bool semicolon = i < text.size() && text[i] == u';';
  char buffer[kMaxNameLength + 1];
  const std::size_t copied = std::min(run, kMaxNameLength);
  for (std::size_t k = 0; k < copied; ++k) buffer[k] = static_cast<char>(text[1 + k]);
  if (run <= kMaxNameLength) {
    if (semicolon) {
      buffer[run] = ';';
      if (const HTML5Entity* e = findHTML5(std::string_view(buffer, run + 1))) {
        first = e->first;
        second = e->second;
        return i + 1;
      }
    }
    // Three old aliases that only the HTML 4 table knows, with or without ";".
    const std::string_view name(buffer, run);
    if (const auto found = HTMLEntitiesByName.find(name); found != HTMLEntitiesByName.end()) {
      const std::string withSemicolon = std::string(name) + ';';
      if (!findHTML5(withSemicolon) && (semicolon || !inAttribute || i == text.size() || text[i] != u'=')) {
        first = found->second;
        return semicolon ? i + 1 : i;
      }
    }
  }
  // Without ";" browsers know only the old names (none longer than six letters), and in
  // text also as the start of a longer run ("&copyx" is "\u00A9x"). In an attribute value
  // they stay as written when a letter, digit or "=" follows, so that a URL's "&copy=1" or
  // "&image=2" survives.
  for (std::size_t length = std::min(run, kMaxLegacyNameLength); length > 0; --length) {
    if (inAttribute && (length < run || (i < text.size() && text[i] == u'='))) break;
    if (const HTML5Entity* e = findHTML5(std::string_view(buffer, length))) {
      first = e->first;
      second = e->second;
      return 1 + length;
    }
  }
  return 0;
}

void HTMLCharacterEntities::decodeAppend(std::u16string& out, std::u16string_view text, bool dropNul,
                                         bool inAttribute) const {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t run = i;
    // Both characters that need a closer look lie below "'".
    while (run < text.size() && (text[run] > u'&' || (text[run] != u'&' && text[run] != 0))) ++run;
    out.append(text.substr(i, run - i));
    i = run;
    if (i == text.size()) break;
    if (text[i] == 0) {
      if (!dropNul) out.push_back(0);
      ++i;
      continue;
    }
    char32_t first, second;
    if (const std::size_t length = readReference(text.substr(i), inAttribute, first, second)) {
      appendCodePoint(out, first);
      if (second) appendCodePoint(out, second);
      i += length;
    } else {
      out.push_back(u'&');
      ++i;
    }
  }
}

std::u16string HTMLCharacterEntities::decode(std::u16string_view text, bool dropNul, bool inAttribute) const {
  std::u16string out;
  out.reserve(text.size());
  decodeAppend(out, text, dropNul, inAttribute);
  return out;
}

inline char* HTMLCharacterEntities::writeReference(char* p, char32_t code) const {
  if (code > kLastCodePoint || isSurrogate(code)) code = kReplacement;
  const Reference* named = code < kLowNamesEnd ? &lowNames[code]
                           : code >= kSymbolNamesBegin && code < kSymbolNamesEnd
                               ? &symbolNames[code - kSymbolNamesBegin]
                               : nullptr;
  if (named && named->length) {
    std::memcpy(p, named->text, sizeof named->text);
    return p + named->length;
  }
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  const int digits = code < 10        ? 1
                     : code < 100     ? 2
                     : code < 1000    ? 3
                     : code < 10000   ? 4
                     : code < 100000  ? 5
                     : code < 1000000 ? 6
                                      : 7;
  *p++ = '&';
  *p++ = '#';
  char* d = p + digits;
  while (code >= 100) {
    const char32_t pair = code % 100;
    code /= 100;
    d -= 2;
    d[0] = kPairs[2 * pair];
    d[1] = kPairs[2 * pair + 1];
  }
  if (code >= 10) {
    d -= 2;
    d[0] = kPairs[2 * code];
    d[1] = kPairs[2 * code + 1];
  } else {
    *--d = static_cast<char>('0' + code);
  }
  p += digits;
  *p++ = ';';
  return p;
}

void HTMLCharacterEntities::encodeCharacterAppend(std::string& out, char32_t code) const {
  char reference[kMaxReferenceLength];
  out.append(reference, writeReference(reference, code));
}

std::string HTMLCharacterEntities::encodeCharacter(char32_t code) const {
  std::string out;
  encodeCharacterAppend(out, code);
  return out;
}

void HTMLCharacterEntities::encodeAppend(std::string& out, std::u16string_view text) const {
  // The loop writes through a pointer into room made ahead, one byte per character to begin
  // with, and makes more (twice what is left, so the work stays linear) whenever fewer bytes
  // remain than the longest reference takes.
  const std::size_t n = text.size();
  std::size_t used = out.size();
  out.resize(used + n + kMaxReferenceLength);
  char* base = out.data();
  char* p = base + used;
  char* limit = base + out.size() - kMaxReferenceLength;
  std::size_t i = 0;
  while (i < n) {
    if (p > limit) {
      used = static_cast<std::size_t>(p - base);
      out.resize(used + 2 * (n - i) + 8 * kMaxReferenceLength);
      base = out.data();
      p = base + used;
      limit = base + out.size() - kMaxReferenceLength;
    }
    const char16_t c = text[i];
    if (c < 0x80 && kPlain[c]) {
      // A run of plain characters, as far as the room made lasts.
      const std::size_t end = std::min<std::size_t>(n, i + static_cast<std::size_t>(limit - p) + 1);
      *p++ = static_cast<char>(c);
      ++i;
      while (i + 8 <= end && copyPlainBlock(text.data() + i, p)) {
        i += 8;
        p += 8;
      }
      while (i < end && text[i] < 0x80 && kPlain[text[i]]) *p++ = static_cast<char>(text[i++]);
    } else if (c < kLowNamesEnd) {
      std::memcpy(p, lowNames[c].text, sizeof lowNames[c].text);
      p += lowNames[c].length;
      ++i;
    } else if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1])) {
      p = writeReference(p, 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      i += 2;
    } else {
      p = writeReference(p, c);
      ++i;
    }
  }
  out.resize(static_cast<std::size_t>(p - base));
}

std::string HTMLCharacterEntities::encode(std::u16string_view text) const {
  std::string out;
  encodeAppend(out, text);
  return out;
}

}  // namespace HTMLFilter
