#include "html/HTMLParser.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "html/HTMLCharacterEntities.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace HTMLFilter {

namespace {

// What each character below 256 is to the scans; characters above 255 are none of these.
enum : std::uint8_t {
  kWhitespace = 1,        // " \t\r\n\f" and U+0000
  kTagNameEnd = 2,        // whitespace and ">=<&/"
  kAttributeNameEnd = 4,  // whitespace and ">="
  kUnquotedValueEnd = 8,  // whitespace and ">"
  kTextStop = 16,         // whitespace, "<" and "&": where the text scan must look closer
};

// Form feed is HTML whitespace as well: browsers split "<img\fsrc=x>" there, so we do too.
// U+0000 ends every name and value and counts as whitespace.
constexpr std::array<std::uint8_t, 256> kClasses = [] {
  std::array<std::uint8_t, 256> classes{};
  for (const char c : {' ', '\t', '\r', '\n', '\f', '\0'}) {
    classes[static_cast<unsigned char>(c)] =
        kWhitespace | kTagNameEnd | kAttributeNameEnd | kUnquotedValueEnd | kTextStop;
  }
  for (const char c : {'>', '=', '<', '&', '/'}) classes[static_cast<unsigned char>(c)] |= kTagNameEnd;
  for (const char c : {'>', '=', '/'}) classes[static_cast<unsigned char>(c)] |= kAttributeNameEnd;
  classes['>'] |= kUnquotedValueEnd;
  classes['<'] |= kTextStop;
  classes['&'] |= kTextStop;
  return classes;
}();

bool is(char16_t c, std::uint8_t what) {
  return c < 256 && (kClasses[c] & what);
}
bool isWhitespace(char16_t c) {
  return is(c, kWhitespace);
}
bool isTagNameDelimiter(char16_t c) {
  return is(c, kTagNameEnd);
}
bool isAttributeNameDelimiter(char16_t c) {
  return is(c, kAttributeNameEnd);
}
bool isUnquotedValueDelimiter(char16_t c) {
  return is(c, kUnquotedValueEnd);
}
bool isAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
char16_t asciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

// The key character of each ASCII character, 0 for one that a key drops.
constexpr std::array<char, 128> kKeyCharacters = [] {
  std::array<char, 128> keys{};
  for (char c = 'a'; c <= 'z'; ++c) keys[static_cast<unsigned char>(c)] = c;
  for (char c = 'A'; c <= 'Z'; ++c) keys[static_cast<unsigned char>(c)] = static_cast<char>(c - 'A' + 'a');
  for (char c = '0'; c <= '9'; ++c) keys[static_cast<unsigned char>(c)] = c;
  keys[':'] = ':';
  keys['-'] = '-';
  return keys;
}();

void normaliseInto(std::string& key, std::u16string_view name) {
  key.resize(name.size());
  char* out = key.data();
  for (const char16_t c : name) {
    if (c < 128 && kKeyCharacters[c]) *out++ = kKeyCharacters[c];
  }
  key.resize(static_cast<std::size_t>(out - key.data()));
}

// Passes over text[0, n) in blocks of eight characters up to the block that holds a "<"
// and returns how many it passed. Sets decode when one of them is "&" or U+0000 and
// collapse when one is whitespace other than a space, or a space after a space (text[-1]
// is the character before). Either flag may also be set needlessly, which costs only time.
std::size_t scanTextBlocks([[maybe_unused]] const char16_t* text, [[maybe_unused]] std::size_t n,
                           [[maybe_unused]] bool& decode, [[maybe_unused]] bool& collapse) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i lt = _mm_set1_epi16('<');
  const __m128i amp = _mm_set1_epi16('&');
  const __m128i space = _mm_set1_epi16(' ');
  const __m128i zero = _mm_setzero_si128();
  __m128i decodeAny = zero;
  __m128i collapseAny = zero;
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, lt)) != 0) break;
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i - 1));
    const __m128i nul = _mm_cmpeq_epi16(v, zero);
    decodeAny = _mm_or_si128(decodeAny, _mm_or_si128(_mm_cmpeq_epi16(v, amp), nul));
    // TAB, LF, (VT,) FF and CR lie in 9..13; signed compares keep 0x8000 and up out.
    const __m128i control =
        _mm_and_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(8)), _mm_cmplt_epi16(v, _mm_set1_epi16(14)));
    const __m128i doubleSpace = _mm_and_si128(_mm_cmpeq_epi16(v, space), _mm_cmpeq_epi16(before, space));
    collapseAny = _mm_or_si128(collapseAny, _mm_or_si128(_mm_or_si128(control, nul), doubleSpace));
  }
  if (_mm_movemask_epi8(decodeAny) != 0) decode = true;
  if (_mm_movemask_epi8(collapseAny) != 0) collapse = true;
#endif
  return i;
}

class Tokenizer {
 public:
  Tokenizer(IHTMLHandler& handler, std::u16string_view text)
      : handler_(handler), text_(text), entities_(HTMLCharacterEntities::instance()) {}

  void run(bool fragment) {
    const std::size_t n = text_.size();
    while (pos_ < n) {
      if (text_[pos_] == u'<' && pos_ + 1 < n) {
        const char16_t next = text_[pos_ + 1];
        if (isAsciiLetter(next)) {
          startTag();
          continue;
        }
        if (next == u'/' && pos_ + 2 < n) {
          endTag();
          continue;
        }
        if (next == u'!') {
          if (pos_ + 3 < n && text_[pos_ + 2] == u'-' && text_[pos_ + 3] == u'-') {
            comment();
          } else {
            pos_ += 2;
            handler_.declaration(upToClosingBracket());
          }
          continue;
        }
        if (next == u'?') {
          pos_ += 2;
          handler_.processingInstruction(upToClosingBracket());
          continue;
        }
      }
      characterData();
    }
    if (!fragment) handler_.endDocument();
  }

 private:
  bool atEnd() const { return pos_ >= text_.size(); }

  void skipWhitespace() {
    while (pos_ < text_.size() && isWhitespace(text_[pos_])) ++pos_;
  }

  template <typename Delimiter>
  std::u16string_view readUntil(Delimiter isDelimiter) {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !isDelimiter(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  std::u16string_view decodedValue(std::u16string_view raw) {
    for (const char16_t c : raw) {
      if (c == u'&' || c == 0) {
        decoded_.clear();
        entities_.decodeAppend(decoded_, raw, true, true);
        return decoded_;
      }
    }
    return raw;
  }

  // The attributes of a start tag up to and including its ">" (or to the end of the text).
  // End tags carry attributes too; browsers read and drop them, and so do we (report false),
  // so that a ">" inside a quoted value does not end the tag.
  void attributes(bool report) {
    const std::size_t n = text_.size();
    skipWhitespace();
    while (pos_ < n) {
      const char16_t c = text_[pos_];
      if (c == u'>') {
        ++pos_;
        return;
      }
      if (c == u'/') {
        ++pos_;
        skipWhitespace();
        continue;
      }
      const std::u16string_view rawName = readUntil(isAttributeNameDelimiter);
      if (report) normaliseInto(attributeKey_, rawName);
      skipWhitespace();
      if (atEnd() || text_[pos_] != u'=') {
        if (report) handler_.attributeWithoutValue(rawName, attributeKey_);
      } else {
        ++pos_;
        skipWhitespace();
        if (!atEnd()) {
          const char16_t quote = text_[pos_];
          if (quote == u'"' || quote == u'\'') {
            ++pos_;
            const std::size_t close = text_.find(quote, pos_);
            if (close == std::u16string_view::npos) {
              pos_ = n;  // an unterminated value drops the attribute
            } else {
              const std::u16string_view value = text_.substr(pos_, close - pos_);
              if (report) handler_.attribute(rawName, attributeKey_, value, decodedValue(value));
              pos_ = close + 1;
            }
          } else {
            const std::u16string_view value = readUntil(isUnquotedValueDelimiter);
            if (report && !atEnd()) handler_.attribute(rawName, attributeKey_, value, decodedValue(value));
          }
        }
      }
      skipWhitespace();
    }
  }

  void startTag() {
    ++pos_;
    const std::u16string_view rawName = readUntil(isTagNameDelimiter);
    normaliseInto(tagKey_, rawName);
    handler_.startTag(rawName, tagKey_);
    if (std::string_view(tagKey_) == "pre") ++preDepth_;
    attributes(true);
    handler_.startTagEnd();
    const std::string_view key = tagKey_;
    if (key == "script" || key == "style" || key == "comment") rawContent();
  }

  // Everything up to "</" and the tag's key, in any letter case, followed by a character that
  // ends a tag name: the end tag read next then always has the same key as the start tag.
  void rawContent() {
    const std::size_t n = text_.size();
    const std::size_t keyLength = tagKey_.size();
    const std::size_t start = pos_;
    std::size_t end = n;
    for (std::size_t p = text_.find(u'<', pos_); p != std::u16string_view::npos;
         p = text_.find(u'<', p + 1)) {
      if (p + 2 + keyLength >= n) break;
      if (text_[p + 1] != u'/' || !isTagNameDelimiter(text_[p + 2 + keyLength])) continue;
      bool same = true;
      for (std::size_t k = 0; k < keyLength && same; ++k) {
        same = asciiLower(text_[p + 2 + k]) == static_cast<char16_t>(tagKey_[k]);
      }
      if (same) {
        end = p;
        break;
      }
    }
    std::u16string content;
    content.reserve(std::max<std::size_t>(256, end - start));
    content.append(text_.substr(start, end - start));
    pos_ = end;
    handler_.rawContent(std::move(content));
  }

  void endTag() {
    pos_ += 2;
    if (isAsciiLetter(text_[pos_])) {
      const std::u16string_view rawName = readUntil(isTagNameDelimiter);
      normaliseInto(tagKey_, rawName);
      handler_.endTag(rawName, tagKey_);
      if (preDepth_ > 0 && std::string_view(tagKey_) == "pre") --preDepth_;
      attributes(false);
    } else {
      // Not an end tag at all ("</ x>", "</3"): browsers skip it as far as the next ">".
      upToClosingBracket();
    }
  }

  void comment() {
    const std::size_t n = text_.size();
    const std::size_t start = pos_ + 4;
    // "<!-->" and "<!--->" are complete, empty comments.
    if (start < n && text_[start] == u'>') {
      pos_ = start + 1;
      handler_.comment({});
      return;
    }
    if (start + 1 < n && text_[start] == u'-' && text_[start + 1] == u'>') {
      pos_ = start + 2;
      handler_.comment({});
      return;
    }
    // A comment ends at "-->" or, as browsers also read it, at "--!>". Once a search has
    // found neither after some position, no later comment searches again, or a run of
    // unterminated comments ("<!--a><!--a>...") would cost time in the square of its length.
    const std::size_t first = start < noCommentEndFrom_ ? text_.find(u"--", start) : std::u16string_view::npos;
    for (std::size_t p = first; p != std::u16string_view::npos; p = text_.find(u"--", p + 1)) {
      std::size_t closeLength = 0;
      if (p + 2 < n && text_[p + 2] == u'>') {
        closeLength = 3;
      } else if (p + 3 < n && text_[p + 2] == u'!' && text_[p + 3] == u'>') {
        closeLength = 4;
      }
      if (closeLength) {
        pos_ = p + closeLength;
        handler_.comment(text_.substr(start, p - start));
        return;
      }
    }
    // Unterminated: the comment ends at the first ">" after "<!--".
    noCommentEndFrom_ = std::min(noCommentEndFrom_, start);
    pos_ = start;
    handler_.comment(upToClosingBracket());
  }

  // The text from the position up to the next ">", which is skipped; or the rest of the text.
  std::u16string_view upToClosingBracket() {
    const std::size_t start = pos_;
    const std::size_t close = text_.find(u'>', pos_);
    if (close == std::u16string_view::npos) {
      pos_ = text_.size();
      return text_.substr(start);
    }
    pos_ = close + 1;
    return text_.substr(start, close - start);
  }

  void characterData() {
    const std::size_t n = text_.size();
    const std::size_t start = pos_;
    // A "<" that opens no markup is text, and so is what follows it up to the next "<".
    if (text_[pos_] == u'<') ++pos_;
    bool collapse = false;
    bool decode = false;
    const bool pre = preDepth_ > 0;
    bool afterSpace = false;
    bool scanned = false;
    for (; pos_ < n; ++pos_) {
      // After the first character, blocks of eight go at once up to the one with the "<".
      if (!scanned && pos_ > start) {
        scanned = true;
        bool whitespace = false;
        pos_ += scanTextBlocks(text_.data() + pos_, n - pos_, decode, whitespace);
        if (whitespace && !pre) collapse = true;
        afterSpace = isWhitespace(text_[pos_ - 1]);
        if (pos_ == n) break;
      }
      const char16_t c = text_[pos_];
      // Every character the scan stops at lies below "=".
      if (c > u'<' || !is(c, kTextStop)) {
        afterSpace = false;
        continue;
      }
      if (c == u'<') break;
      if (c == u'&') {
        decode = true;
        afterSpace = false;
        continue;
      }
      if (c == 0) decode = true;
      if (!pre && (c != u' ' || afterSpace)) collapse = true;
      afterSpace = true;
    }
    std::u16string_view raw = text_.substr(start, pos_ - start);
    if (collapse) {
      textBuffer_.resize(raw.size());
      char16_t* out = textBuffer_.data();
      bool space = false;
      for (const char16_t c : raw) {
        if (!isWhitespace(c)) {
          *out++ = c;
          space = false;
        } else if (!space) {
          *out++ = u' ';
          space = true;
        }
      }
      raw = std::u16string_view(textBuffer_.data(), static_cast<std::size_t>(out - textBuffer_.data()));
      decode = raw.find(u'&') != std::u16string_view::npos;
    }
    if (decode) {
      decoded_.clear();
      entities_.decodeAppend(decoded_, raw, true);
      handler_.text(raw, decoded_);
    } else {
      handler_.text(raw, raw);
    }
  }

  IHTMLHandler& handler_;
  const std::u16string_view text_;
  const HTMLCharacterEntities& entities_;
  std::size_t pos_ = 0;
  int preDepth_ = 0;
  // No "-->" or "--!>" begins at or after this position.
  std::size_t noCommentEndFrom_ = std::u16string_view::npos;
  // Scratch space reused from event to event.
  std::string tagKey_;
  std::string attributeKey_;
  std::u16string textBuffer_;
  std::u16string decoded_;
};

}  // namespace

void parseHTML(IHTMLHandler& handler, std::u16string_view text, bool fragment) {
  Tokenizer(handler, text).run(fragment);
}

std::string normaliseName(std::u16string_view name) {
  std::string key;
  normaliseInto(key, name);
  return key;
}

}  // namespace HTMLFilter
