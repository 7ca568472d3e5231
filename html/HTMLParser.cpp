#include "html/HTMLParser.h"

#include "html/HTMLCharacterEntities.h"

namespace HTMLFilter {

namespace {

// Form feed is HTML whitespace as well: browsers split "<img\fsrc=x>" there, so we do too.
// U+0000 ends every name and value and counts as whitespace. Characters above 255 are
// never delimiters.
bool isWhitespace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == 0;
}
bool isTagNameDelimiter(char16_t c) {
  return isWhitespace(c) || c == u'>' || c == u'=' || c == u'<' || c == u'&' || c == u'/';
}
bool isAttributeNameDelimiter(char16_t c) { return isWhitespace(c) || c == u'>' || c == u'='; }
bool isUnquotedValueDelimiter(char16_t c) { return isWhitespace(c) || c == u'>'; }
bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

void normaliseInto(std::string& key, std::u16string_view name) {
  key.clear();
  for (const char16_t c : name) {
    if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u':' || c == u'-') {
      key.push_back(static_cast<char>(c));
    } else if (c >= u'A' && c <= u'Z') {
      key.push_back(static_cast<char>(c + (u'a' - u'A')));
    }
  }
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
        entities_.decodeAppend(decoded_, raw, true);
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
    if (tagKey_ == "pre") ++preDepth_;
    attributes(true);
    handler_.startTagEnd();
    if (tagKey_ == "script" || tagKey_ == "style" || tagKey_ == "comment") rawContent();
  }

  // Everything up to "</" and the tag's key, in any letter case, followed by a character that
  // ends a tag name: the end tag read next then always has the same key as the start tag.
  void rawContent() {
    const std::size_t n = text_.size();
    const std::size_t keyLength = tagKey_.size();
    const std::size_t start = pos_;
    std::size_t end = n;
    for (std::size_t p = text_.find(u'<', pos_); p != std::u16string_view::npos; p = text_.find(u'<', p + 1)) {
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
      if (tagKey_ == "pre" && preDepth_ > 0) --preDepth_;
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
    // A comment ends at "-->" or, as browsers also read it, at "--!>".
    for (std::size_t p = text_.find(u"--", start); p != std::u16string_view::npos; p = text_.find(u"--", p + 1)) {
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
    char16_t previous = 0xFFFF;
    for (; pos_ < n; ++pos_) {
      const char16_t c = text_[pos_];
      if (c == u'<') break;
      if (c == u'&' || c == 0) decode = true;
      if (!pre && isWhitespace(c) && (c != u' ' || previous == u' ')) collapse = true;
      previous = c;
    }
    std::u16string_view raw = text_.substr(start, pos_ - start);
    if (collapse) {
      textBuffer_.clear();
      for (const char16_t c : raw) {
        if (!isWhitespace(c)) {
          textBuffer_.push_back(c);
        } else if (textBuffer_.empty() || textBuffer_.back() != u' ') {
          textBuffer_.push_back(u' ');
        }
      }
      raw = textBuffer_;
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
