#include "html/HTMLRewriter.h"

#include "common/HexDigits.h"
#include "html/HTMLCharacterEntities.h"

namespace HTMLFilter {

namespace {

bool isHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

bool isAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// What is written verbatim (raw content, comments, declarations, processing instructions)
// never holds "</" before a letter: a browser that reads the surrounding element as raw text
// (a "title", "textarea", "noscript" or "iframe", whose content the tokenizer parses as
// markup) would end that element there, and the rest would be markup that the filter took
// for CSS, script or a comment. "<\/" means "</" in scripts and style sheets alike.
bool opensEndTag(std::u16string_view text, std::size_t i) {
  return text[i] == u'<' && i + 2 < text.size() && text[i + 1] == u'/' && isAsciiLetter(text[i + 2]);
}

// Markup text outside the document's languages (comments, declarations, processing
// instructions, the "comment" element) has no escape: a non-ASCII character becomes "?".
// In the content of a "comment" element, which browsers now parse as HTML, "<" does too.
void appendAsciiOnly(std::string& out, std::u16string_view text, bool noTags) {
  out.reserve(out.size() + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0x80 || (noTags && c == u'<')) {
      out.push_back('?');
    } else if (opensEndTag(text, i)) {
      out += "<\\";
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
}

// A style sheet writes a character as "\" and its code point in hex, ended by a space
// (which the escape consumes); a script as "\u" and four hex digits per UTF-16 unit, which
// JavaScript reads as the same character in strings, identifiers and regular expressions.
// In both, a backslash before a character escapes it to itself, so a backslash directly
// before an escaped character is dropped rather than left to escape the new escape.
//
// A style sheet gets no "<" at all: where browsers parse a "style" as markup (inside "svg" or
// "math"), none of it can then open a tag. Its "<!--" and "-->" go too (a space in their
// place): style sheets ignore them, and inside "svg" a "<!--" would open a comment that runs
// past the style's end and hides an element that follows from the filter.
void appendEscaped(std::string& out, std::u16string_view text, bool css) {
  out.reserve(out.size() + text.size());
  bool escaping = false;  // the last character written is a backslash that escapes the next
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (css && (text.substr(i, 4) == u"<!--" || text.substr(i, 3) == u"-->")) {
      out.push_back(' ');
      escaping = false;
      i += c == u'<' ? 3 : 2;
      continue;
    }
    const bool lessThan = c == u'<' && (css || opensEndTag(text, i));
    if (c < 0x80 && !lessThan) {
      out.push_back(static_cast<char>(c));
      escaping = c == u'\\' && !escaping;
      continue;
    }
    if (!css && lessThan) {
      out += "<\\";
      escaping = true;  // the "/" that follows is escaped
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
        digits[n++] = kUpperHexDigits[code & 0xF];
        code >>= 4;
      } while (code);
      while (n) out.push_back(digits[--n]);
      out.push_back(' ');
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kUpperHexDigits[(c >> shift) & 0xF]);
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
  openTag_ = key == "br"       ? Tag::br
             : key == "p"      ? Tag::p
             : key == "style"  ? Tag::style
             : key == "script" ? Tag::script
                               : Tag::other;
  rawContentTag_ = openTag_;
  tagOpen_ = true;
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
  if (openTag_ == Tag::br) {
    output_ += "\r\n";
  } else if (openTag_ == Tag::p) {
    output_ += "\r\n\r\n";
  }
  tagOpen_ = false;
  openTag_ = Tag::other;
}

void HTMLRewriter::rawContent(std::u16string content) {
  if (rawContentTag_ == Tag::style) {
    appendEscaped(output_, content, true);
  } else if (rawContentTag_ == Tag::script) {
    appendEscaped(output_, content, false);
  } else {
    appendAsciiOnly(output_, content, true);
  }
}

void HTMLRewriter::endTag(std::u16string_view, std::string_view key) {
  output_ += "</";
  output_ += key;
  output_ += '>';
}

void HTMLRewriter::comment(std::u16string_view text) {
  output_ += "<!--";
  appendAsciiOnly(output_, text, false);
  output_ += "-->";
}

void HTMLRewriter::declaration(std::u16string_view text) {
  output_ += "<!";
  // Inside "svg" or "math", "<![CDATA[" opens a section that runs to "]]>", past the ">" that
  // ended the declaration here, and hides what follows from the filter. Elsewhere browsers
  // read it, as any "<!" that is no comment or document type, as a comment to the next ">";
  // so it is, with "?" for its "[".
  if (text.substr(0, 7) == u"[CDATA[") {
    output_ += '?';
    text.remove_prefix(1);
  }
  appendAsciiOnly(output_, text, false);
  output_ += '>';
}

void HTMLRewriter::processingInstruction(std::u16string_view text) {
  output_ += "<?";
  appendAsciiOnly(output_, text, false);
  output_ += '>';
}

void HTMLRewriter::endDocument() {
  if (tagOpen_) startTagEnd();
}

}  // namespace HTMLFilter
