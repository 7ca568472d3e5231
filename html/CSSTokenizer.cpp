#include "html/CSSTokenizer.h"

namespace HTMLFilter {

namespace {

constexpr char32_t kEOF = 0xFFFFFFFF;

bool isDigit(char32_t c) { return c >= '0' && c <= '9'; }
bool isHex(char32_t c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isLetter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isNameStart(char32_t c) { return isLetter(c) || c == '_' || (c >= 0x80 && c != kEOF); }
bool isName(char32_t c) { return isNameStart(c) || isDigit(c) || c == '-'; }
bool isWhitespace(char32_t c) { return c == '\n' || c == '\t' || c == ' '; }
bool isNonPrintable(char32_t c) {
  return c <= 0x08 || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == 0x7F;
}
bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

std::u16string preprocess(std::u16string_view css) {
  std::u16string text;
  text.reserve(css.size());
  for (std::size_t i = 0; i < css.size(); ++i) {
    const char16_t c = css[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < css.size() && css[i + 1] >= 0xDC00 &&
                      css[i + 1] <= 0xDFFF;
    if (pair) {
      text.push_back(c);
      text.push_back(css[++i]);
    } else if (c == 0 || isSurrogate(c)) {
      text.push_back(u'\uFFFD');
    } else if (c == '\r' || c == '\f') {
      if (c == '\r' && i + 1 < css.size() && css[i + 1] == '\n') ++i;
      text.push_back('\n');
    } else {
      text.push_back(c);
    }
  }
  return text;
}

void appendCodePoint(std::u16string& out, char32_t c) {
  if (c > 0xFFFF) {
    out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

class Tokenizer {
 public:
  explicit Tokenizer(std::u16string text) : text_(std::move(text)) {}

  std::vector<CSSToken> run() {
    std::vector<CSSToken> tokens;
    while (true) {
      skipComments();
      if (pos_ >= text_.size()) break;
      tokens.push_back(next());
    }
    return tokens;
  }

 private:
  [[nodiscard]] char32_t peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : kEOF;
  }
  static bool validEscape(char32_t first, char32_t second) { return first == '\\' && second != '\n'; }
  [[nodiscard]] bool startsIdent(std::size_t at) const {
    const char32_t a = peek(at);
    if (a == '-') return isNameStart(peek(at + 1)) || peek(at + 1) == '-' || validEscape(peek(at + 1), peek(at + 2));
    if (isNameStart(a)) return true;
    return validEscape(a, peek(at + 1));
  }
  [[nodiscard]] bool startsNumber(std::size_t at) const {
    const char32_t a = peek(at);
    if (a == '+' || a == '-') return isDigit(peek(at + 1)) || (peek(at + 1) == '.' && isDigit(peek(at + 2)));
    if (a == '.') return isDigit(peek(at + 1));
    return isDigit(a);
  }

  void skipComments() {
    while (peek() == '/' && peek(1) == '*') {
      const std::size_t end = text_.find(u"*/", pos_ + 2);
      pos_ = end == std::u16string::npos ? text_.size() : end + 2;
    }
  }

  // After the backslash.
  char32_t escapedCodePoint() {
    const char32_t c = peek();
    if (c == kEOF) return 0xFFFD;
    ++pos_;
    if (!isHex(c)) return c;
    char32_t value = 0;
    std::size_t digits = 0;
    for (char32_t d = c;; d = peek(), ++pos_) {
      value = value * 16 + static_cast<char32_t>(isDigit(d) ? d - '0' : (d | 0x20) - 'a' + 10);
      if (++digits == 6 || !isHex(peek())) break;
    }
    if (isWhitespace(peek())) ++pos_;
    if (value == 0 || isSurrogate(value) || value > 0x10FFFF) return 0xFFFD;
    return value;
  }

  std::u16string identSequence() {
    std::u16string name;
    while (true) {
      const char32_t c = peek();
      if (isName(c)) {
        name.push_back(static_cast<char16_t>(c));
        ++pos_;
      } else if (validEscape(c, peek(1))) {
        ++pos_;
        appendCodePoint(name, escapedCodePoint());
      } else {
        return name;
      }
    }
  }

  CSSToken make(CSSTokenType type, std::u16string value = {}) {
    CSSToken token;
    token.type = type;
    token.value = std::move(value);
    return token;
  }
  CSSToken delim(char32_t c) {
    CSSToken token = make(CSSTokenType::delim);
    token.delim = static_cast<char16_t>(c);
    return token;
  }

  CSSToken next() {
    const char32_t c = peek();
    if (isWhitespace(c)) {
      while (isWhitespace(peek())) ++pos_;
      return make(CSSTokenType::whitespace);
    }
    switch (c) {
      case '"':
      case '\'':
        ++pos_;
        return string(c);
      case '#':
        if (isName(peek(1)) || validEscape(peek(1), peek(2))) {
          ++pos_;
          return make(CSSTokenType::hash, identSequence());
        }
        break;
      case '(': ++pos_; return make(CSSTokenType::openParen);
      case ')': ++pos_; return make(CSSTokenType::closeParen);
      case '[': ++pos_; return make(CSSTokenType::openSquare);
      case ']': ++pos_; return make(CSSTokenType::closeSquare);
      case '{': ++pos_; return make(CSSTokenType::openCurly);
      case '}': ++pos_; return make(CSSTokenType::closeCurly);
      case ',': ++pos_; return make(CSSTokenType::comma);
      case ':': ++pos_; return make(CSSTokenType::colon);
      case ';': ++pos_; return make(CSSTokenType::semicolon);
      case '+':
      case '.':
        if (startsNumber(0)) return numeric();
        break;
      case '-':
        if (startsNumber(0)) return numeric();
        if (peek(1) == '-' && peek(2) == '>') {
          pos_ += 3;
          return make(CSSTokenType::cdc);
        }
        if (startsIdent(0)) return identLike();
        break;
      case '<':
        if (peek(1) == '!' && peek(2) == '-' && peek(3) == '-') {
          pos_ += 4;
          return make(CSSTokenType::cdo);
        }
        break;
      case '@':
        if (startsIdent(1)) {
          ++pos_;
          return make(CSSTokenType::atKeyword, identSequence());
        }
        break;
      case '\\':
        if (validEscape(c, peek(1))) return identLike();
        break;
      default:
        if (isDigit(c)) return numeric();
        if (isNameStart(c)) return identLike();
        break;
    }
    ++pos_;
    return delim(c);
  }

  CSSToken string(char32_t ending) {
    CSSToken token = make(CSSTokenType::string);
    while (true) {
      const char32_t c = peek();
      if (c == kEOF) return token;
      if (c == '\n') {
        token.type = CSSTokenType::badString;
        return token;
      }
      ++pos_;
      if (c == ending) return token;
      if (c == '\\') {
        if (peek() == kEOF) continue;
        if (peek() == '\n') {
          ++pos_;
          continue;
        }
        appendCodePoint(token.value, escapedCodePoint());
      } else {
        token.value.push_back(static_cast<char16_t>(c));
      }
    }
  }

  CSSToken numeric() {
    const std::size_t start = pos_;
    if (peek() == '+' || peek() == '-') ++pos_;
    while (isDigit(peek())) ++pos_;
    if (peek() == '.' && isDigit(peek(1))) {
      ++pos_;
      while (isDigit(peek())) ++pos_;
    }
    if ((peek() == 'e' || peek() == 'E') &&
        (isDigit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && isDigit(peek(2))))) {
      pos_ += isDigit(peek(1)) ? 1 : 2;
      while (isDigit(peek())) ++pos_;
    }
    CSSToken token = make(CSSTokenType::number, text_.substr(start, pos_ - start));
    if (startsIdent(0)) {
      token.type = CSSTokenType::dimension;
      token.unit = identSequence();
    } else if (peek() == '%') {
      ++pos_;
      token.type = CSSTokenType::percentage;
    }
    return token;
  }

  CSSToken identLike() {
    std::u16string name = identSequence();
    if (peek() != '(') return make(CSSTokenType::ident, std::move(name));
    ++pos_;
    if (cssLower(name) == u"url") {
      while (isWhitespace(peek()) && isWhitespace(peek(1))) ++pos_;
      const char32_t c = isWhitespace(peek()) ? peek(1) : peek();
      if (c != '"' && c != '\'') return url();
    }
    return make(CSSTokenType::function, std::move(name));
  }

  CSSToken url() {
    CSSToken token = make(CSSTokenType::url);
    while (isWhitespace(peek())) ++pos_;
    while (true) {
      const char32_t c = peek();
      if (c == kEOF) return token;
      ++pos_;
      if (c == ')') return token;
      if (isWhitespace(c)) {
        while (isWhitespace(peek())) ++pos_;
        if (peek() == kEOF) return token;
        if (peek() == ')') {
          ++pos_;
          return token;
        }
        return badURLRemnants();
      }
      if (c == '"' || c == '\'' || c == '(' || isNonPrintable(c)) return badURLRemnants();
      if (c == '\\') {
        if (!validEscape(c, peek())) return badURLRemnants();
        appendCodePoint(token.value, escapedCodePoint());
      } else {
        token.value.push_back(static_cast<char16_t>(c));
      }
    }
  }

  CSSToken badURLRemnants() {
    while (true) {
      const char32_t c = peek();
      if (c == kEOF) break;
      ++pos_;
      if (c == ')') break;
      if (validEscape(c, peek())) escapedCodePoint();
    }
    return make(CSSTokenType::badURL);
  }

  std::u16string text_;
  std::size_t pos_ = 0;
};

void appendHexEscape(std::u16string& out, char32_t c) {
  static constexpr char16_t digits[] = u"0123456789abcdef";
  out.push_back('\\');
  bool started = false;
  for (int shift = 20; shift >= 0; shift -= 4) {
    const unsigned digit = (c >> shift) & 0xF;
    if (digit != 0 || started || shift == 0) {
      out.push_back(digits[digit]);
      started = true;
    }
  }
  out.push_back(' ');
}

bool isNumeric(CSSTokenType type) {
  return type == CSSTokenType::number || type == CSSTokenType::percentage ||
         type == CSSTokenType::dimension;
}

// Whether the written form of `token` begins with a character that continues a name: a name
// character or a backslash.
bool beginsWithNameCharacter(const CSSToken& token) {
  switch (token.type) {
    case CSSTokenType::ident:
    case CSSTokenType::function:
    case CSSTokenType::url:
      return true;
    case CSSTokenType::number:
    case CSSTokenType::percentage:
    case CSSTokenType::dimension:
      return !token.value.empty() && (isDigit(token.value[0]) || token.value[0] == '-');
    case CSSTokenType::delim:
      return token.delim == '-' || token.delim == '\\';
    default:
      return false;
  }
}

bool beginsWithDigitOrDot(const CSSToken& token) {
  return isNumeric(token.type) && !token.value.empty() &&
         (isDigit(token.value[0]) || token.value[0] == '.');
}

bool isDelim(const CSSToken& token, char16_t c) {
  return token.type == CSSTokenType::delim && token.delim == c;
}

}  // namespace

std::vector<CSSToken> tokenizeCSS(std::u16string_view css, std::size_t maxNesting) {
  std::vector<CSSToken> tokens = Tokenizer(preprocess(css)).run();
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    CSSToken& token = tokens[i];
    if (isCSSOpener(token.type)) {
      token.tooDeep = open.size() >= maxNesting;
      open.push_back(i);
      continue;
    }
    const bool closer = token.type == CSSTokenType::closeParen ||
                        token.type == CSSTokenType::closeSquare ||
                        token.type == CSSTokenType::closeCurly;
    if (!closer || open.empty()) continue;
    const char16_t c = token.type == CSSTokenType::closeParen    ? u')'
                       : token.type == CSSTokenType::closeSquare ? u']'
                                                                 : u'}';
    if (cssCloserOf(tokens[open.back()]) != c) continue;
    tokens[open.back()].match = i;
    token.matched = true;
    open.pop_back();
  }
  return tokens;
}

bool isCSSOpener(CSSTokenType type) {
  return type == CSSTokenType::function || type == CSSTokenType::openParen ||
         type == CSSTokenType::openSquare || type == CSSTokenType::openCurly;
}

char16_t cssCloserOf(const CSSToken& opener) {
  switch (opener.type) {
    case CSSTokenType::openSquare: return u']';
    case CSSTokenType::openCurly: return u'}';
    default: return u')';
  }
}

std::u16string cssLower(std::u16string_view name) {
  std::u16string lower(name);
  for (char16_t& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + ('a' - 'A'));
  }
  return lower;
}

void appendCSSIdent(std::u16string& out, std::u16string_view name) {
  if (name == u"-") {
    out += u"\\-";
    return;
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c < 0x20 || c == 0x7F || c == '<' || c == '>' ||
        (isDigit(c) && (i == 0 || (i == 1 && name[0] == '-')))) {
      appendHexEscape(out, c);
    } else if (isName(c)) {
      out.push_back(c);
    } else {
      out.push_back('\\');
      out.push_back(c);
    }
  }
}

void appendCSSString(std::u16string& out, std::u16string_view text) {
  out.push_back('"');
  for (const char16_t c : text) {
    if (c < 0x20 || c == 0x7F || c == '<' || c == '>') {
      appendHexEscape(out, c);
    } else {
      if (c == '"' || c == '\\') out.push_back('\\');
      out.push_back(c);
    }
  }
  out.push_back('"');
}

void appendCSSToken(std::u16string& out, const CSSToken& token) {
  switch (token.type) {
    case CSSTokenType::ident: appendCSSIdent(out, token.value); break;
    case CSSTokenType::function:
      appendCSSIdent(out, token.value);
      out.push_back('(');
      break;
    case CSSTokenType::atKeyword:
      out.push_back('@');
      appendCSSIdent(out, token.value);
      break;
    case CSSTokenType::hash:
      out.push_back('#');
      for (const char16_t c : token.value) {
        if (isName(c)) {
          out.push_back(c);
        } else {
          // Any other character of a hash name came from an escape; appendCSSIdent writes
          // it as one.
          appendCSSIdent(out, std::u16string_view(&c, 1));
        }
      }
      break;
    case CSSTokenType::string: appendCSSString(out, token.value); break;
    case CSSTokenType::url:
      out += u"url(";
      appendCSSString(out, token.value);
      out.push_back(')');
      break;
    case CSSTokenType::delim:
      out.push_back(token.delim);
      if (token.delim == '\\') out.push_back('\n');
      break;
    case CSSTokenType::number: out += token.value; break;
    case CSSTokenType::percentage:
      out += token.value;
      out.push_back('%');
      break;
    case CSSTokenType::dimension: {
      out += token.value;
      std::u16string unit;
      appendCSSIdent(unit, token.unit);
      // "1\65 5" is 1 with the unit "e5"; written plainly it would read as 100000.
      const bool readsAsExponent =
          unit.size() >= 2 && (unit[0] | 0x20) == 'e' &&
          (isDigit(unit[1]) || (unit[1] == '-' && unit.size() >= 3 && isDigit(unit[2])));
      if (readsAsExponent) {
        appendHexEscape(out, unit[0]);
        out.append(unit, 1);
      } else {
        out += unit;
      }
      break;
    }
    case CSSTokenType::whitespace: out.push_back(' '); break;
    case CSSTokenType::colon: out.push_back(':'); break;
    case CSSTokenType::semicolon: out.push_back(';'); break;
    case CSSTokenType::comma: out.push_back(','); break;
    case CSSTokenType::openSquare: out.push_back('['); break;
    case CSSTokenType::closeSquare: out.push_back(']'); break;
    case CSSTokenType::openParen: out.push_back('('); break;
    case CSSTokenType::closeParen: out.push_back(')'); break;
    case CSSTokenType::openCurly: out.push_back('{'); break;
    case CSSTokenType::closeCurly: out.push_back('}'); break;
    // Never written: what holds them is dropped.
    case CSSTokenType::badString:
    case CSSTokenType::badURL:
    case CSSTokenType::cdo:
    case CSSTokenType::cdc:
      break;
  }
}

std::u16string_view cssSeparator(const CSSToken& previous, const CSSToken& next,
                                 std::u16string_view written) {
  if (isDelim(previous, '<') && (isDelim(next, '!') || isDelim(next, '/'))) return u" ";
  if (isDelim(next, '>') && !written.empty() && written.back() == '-') return u"/**/";
  bool joins = false;
  switch (previous.type) {
    case CSSTokenType::ident:
      joins = beginsWithNameCharacter(next) || next.type == CSSTokenType::openParen;
      break;
    case CSSTokenType::atKeyword:
    case CSSTokenType::hash:
    case CSSTokenType::dimension:
      joins = beginsWithNameCharacter(next);
      break;
    case CSSTokenType::number:
      // A signed number after a number stays apart ("+0-7F" in a unicode-range).
      joins = (beginsWithNameCharacter(next) && !isNumeric(next.type)) || isDelim(next, '%') ||
              beginsWithDigitOrDot(next);
      break;
    case CSSTokenType::delim:
      switch (previous.delim) {
        case '#':
        case '@': joins = beginsWithNameCharacter(next); break;
        case '-': joins = beginsWithNameCharacter(next) || beginsWithDigitOrDot(next); break;
        case '.':
        case '+': joins = beginsWithDigitOrDot(next); break;
        case '/': joins = isDelim(next, '*'); break;
        default: break;
      }
      break;
    default:
      break;
  }
  return joins ? u"/**/" : u"";
}

}  // namespace HTMLFilter
