#include "html/HTMLRewriter.h"

#include "html/HTMLCharacterEntities.h"

namespace HTMLFilter {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Markup text outside the document's languages (comments, declarations, processing
// instructions) has no escape: a non-ASCII character becomes "?".
void appendAsciiOnly(std::string& out, std::u16string_view text) {
  out.reserve(out.size() + text.size());
  for (const char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
}

// A style sheet writes a character as "\" and its code point in hex, ended by a space
// (which the escape consumes); a script as "\u" and four hex digits per UTF-16 unit, which
// JavaScript reads as the same character in strings, identifiers and regular expressions.
// In both, a backslash before a character escapes it to itself, so a backslash directly
// before a non-ASCII character is dropped rather than left to escape the new escape.
void appendEscaped(std::string& out, std::u16string_view text, bool css) {
  out.reserve(out.size() + text.size());
  bool escaping = false;  // the last character written is a backslash that escapes the next
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      escaping = c == u'\\' && !escaping;
      continue;
    }
    if (escaping) out.pop_back();
    escaping = false;
    if (css) {
      char32_t code = c;
      if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
        code = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        code = 0xFFFD;
      }
      out.push_back('\\');
      char digits[6];
      int n = 0;
      do {
        digits[n++] = kHexDigits[code & 0xF];
        code >>= 4;
      } while (code);
      while (n) out.push_back(digits[--n]);
      out.push_back(' ');
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHexDigits[(c >> shift) & 0xF]);
    }
  }
}

}  // namespace

void HTMLRewriter::text(std::u16string_view, std::u16string_view decoded) {
  HTMLCharacterEntities::instance().encodeAppend(output_, decoded);
}

void HTMLRewriter::startTag(std::u16string_view, std::string_view key) {
  output_ += '<';
  output_ += key;
  openTag_ = key;
  rawContentTag_ = key;
}

void HTMLRewriter::attribute(std::u16string_view, std::string_view key, std::u16string_view,
                             std::u16string_view decodedValue) {
  // A name of nothing but dropped characters would come out as ' ="..."', which is no
  // attribute of anything.
  if (key.empty()) return;
  output_ += ' ';
  output_ += key;
  output_ += "=\"";
  HTMLCharacterEntities::instance().encodeAppend(output_, decodedValue);
  output_ += '"';
}

void HTMLRewriter::attributeWithoutValue(std::u16string_view, std::string_view key) {
  if (key.empty()) return;
  output_ += ' ';
  output_ += key;
}

void HTMLRewriter::startTagEnd() {
  output_ += '>';
  const std::string_view tag = openTag_;
  if (tag == "br") {
    output_ += "\r\n";
  } else if (tag == "p") {
    output_ += "\r\n\r\n";
  }
  openTag_.clear();
}

void HTMLRewriter::rawContent(std::u16string content) {
  const std::string_view tag = rawContentTag_;
  if (tag == "style") {
    appendEscaped(output_, content, true);
  } else if (tag == "script") {
    appendEscaped(output_, content, false);
  } else {
    appendAsciiOnly(output_, content);
  }
}

void HTMLRewriter::endTag(std::u16string_view, std::string_view key) {
  output_ += "</";
  output_ += key;
  output_ += '>';
}

void HTMLRewriter::comment(std::u16string_view text) {
  output_ += "<!--";
  appendAsciiOnly(output_, text);
  output_ += "-->";
}

void HTMLRewriter::declaration(std::u16string_view text) {
  output_ += "<!";
  appendAsciiOnly(output_, text);
  output_ += '>';
}

void HTMLRewriter::processingInstruction(std::u16string_view text) {
  output_ += "<?";
  appendAsciiOnly(output_, text);
  output_ += '>';
}

void HTMLRewriter::endDocument() {
  if (!openTag_.empty()) startTagEnd();
}

}  // namespace HTMLFilter
