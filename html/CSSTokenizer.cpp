#include "html/CSSTokenizer.h"

#include <array>
#include <string>

namespace HTMLFilter {

namespace {

constexpr char32_t kEOF = 0xFFFFFFFF;

constexpr bool isDigit(char32_t c) { return c >= '0' && c <= '9'; }
bool isHex(char32_t c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
constexpr bool isLetter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// For ASCII: whether a character starts a name, continues one, or may start a word that
// scanners of style text look for.
constexpr std::uint8_t kNameStart = 1;
constexpr std::uint8_t kName = 2;
constexpr std::uint8_t kWordStart = 4;
constexpr auto kASCII = [] {
  std::array<std::uint8_t, 128> table{};
  for (char32_t c = 0; c < 128; ++c) {
    if (isLetter(c) || c == '_') table[c] |= kNameStart | kName;
    if (isDigit(c) || c == '-') table[c] |= kName;
  }
  for (const char c : std::string_view("ebujvEBUJV@")) table[static_cast<unsigned char>(c)] |= kWordStart;
  return table;
}();
bool isNameStart(char32_t c) { return c < 0x80 ? (kASCII[c] & kNameStart) != 0 : c != kEOF; }
bool isName(char32_t c) { return c < 0x80 ? (kASCII[c] & kName) != 0 : c != kEOF; }
bool isWhitespace(char32_t c) { return c == '\n' || c == '\t' || c == ' '; }
bool isNonPrintable(char32_t c) {
  return c <= 0x08 || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == 0x7F;
}
bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
char16_t asciiLower(char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + ('a' - 'A')) : c; }

// Whether the text must be preprocessed: it holds NUL, CR, FF or a lone surrogate.
bool needsPreprocessing(std::u16string_view css) {
  for (std::size_t i = 0; i < css.size(); ++i) {
    const char16_t c = css[i];
    if (c > '\r' && (c < 0xD800 || c > 0xDFFF)) continue;
    if (c == 0 || c == '\r' || c == '\f') return true;
    if (c < 0xD800) continue;
    if (c > 0xDBFF || i + 1 >= css.size() || css[i + 1] < 0xDC00 || css[i + 1] > 0xDFFF) return true;
    ++i;
  }
  return false;
}

std::vector<char16_t> preprocess(std::u16string_view css) {
  std::vector<char16_t> text;
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

class Tokenizer {
 public:
  // `decoded` receives the values that escapes change; its capacity is never exceeded, so
  // that the views into it stay valid (no value is longer than the text it was read from).
  Tokenizer(std::u16string_view text, std::vector<char16_t>& decoded, std::size_t maxNesting)
      : text_(text), decoded_(decoded), maxNesting_(maxNesting) {}

  void run(std::vector<CSSToken>& tokens) {
    // Openers still open are chained through their `match`, innermost first.
    std::size_t innermost = CSSToken::npos;
    std::size_t depth = 0;
    while (true) {
      skipComments();
      if (pos_ >= text_.size()) break;
      CSSToken token = next();
      const std::size_t index = tokens.size();
      if (isCSSOpener(token.type)) {
        token.tooDeep = depth >= maxNesting_;
        token.match = innermost;
        innermost = index;
        ++depth;
      } else if (innermost != CSSToken::npos && closes(tokens[innermost], token.type)) {
        CSSToken& opener = tokens[innermost];
        innermost = opener.match;
        opener.match = index;
        token.matched = true;
        --depth;
      }
      // Field by field: the flags were just written one byte at a time, and a copy of the
      // whole token reads them back as one wide word, which stalls until the bytes land.
      CSSToken& stored = tokens.emplace_back();
      stored.value = token.value;
      stored.unit = token.unit;
      stored.match = token.match;
      stored.type = token.type;
      stored.delim = token.delim;
      stored.matched = token.matched;
      stored.tooDeep = token.tooDeep;
    }
    while (innermost != CSSToken::npos) {
      CSSToken& opener = tokens[innermost];
      innermost = opener.match;
      opener.match = CSSToken::npos;
    }
  }

 private:
  static bool closes(const CSSToken& opener, CSSTokenType type) {
    switch (type) {
      case CSSTokenType::closeParen: return cssCloserOf(opener) == ')';
      case CSSTokenType::closeSquare: return cssCloserOf(opener) == ']';
      case CSSTokenType::closeCurly: return cssCloserOf(opener) == '}';
      default: return false;
    }
  }

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
      pos_ = end == std::u16string_view::npos ? text_.size() : end + 2;
    }
  }

  // A value being read: a view of the text while it matches the text, copied to `decoded`
  // from the first escape on.
  class Value {
   public:
    Value(Tokenizer& tokenizer, std::size_t start) : tokenizer_(tokenizer), start_(start) {}
    // Everything read since the start, up to `end`, is the value so far; from here on
    // characters are added one by one.
    void beginDecoding(std::size_t end) {
      if (decoding_) return;
      decoding_ = true;
      std::vector<char16_t>& decoded = tokenizer_.decoded_;
      if (decoded.capacity() == 0) decoded.reserve(tokenizer_.text_.size());
      decodedStart_ = decoded.size();
      decoded.insert(decoded.end(), tokenizer_.text_.begin() + static_cast<std::ptrdiff_t>(start_),
                     tokenizer_.text_.begin() + static_cast<std::ptrdiff_t>(end));
    }
    void add(char32_t c) {
      std::vector<char16_t>& decoded = tokenizer_.decoded_;
      if (c > 0xFFFF) {
        decoded.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        decoded.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
      } else {
        decoded.push_back(static_cast<char16_t>(c));
      }
    }
    [[nodiscard]] bool decoding() const { return decoding_; }
    [[nodiscard]] std::u16string_view view(std::size_t end) const {
      if (!decoding_) return tokenizer_.text_.substr(start_, end - start_);
      return {tokenizer_.decoded_.data() + decodedStart_, tokenizer_.decoded_.size() - decodedStart_};
    }

   private:
    Tokenizer& tokenizer_;
    std::size_t start_;
    std::size_t decodedStart_ = 0;
    bool decoding_ = false;
  };

  // After the backslash.
  char32_t escapedCodePoint() {
    const char32_t c = peek();
    if (c == kEOF) return 0xFFFD;
    ++pos_;
    if (!isHex(c)) {
      if (c >= 0xD800 && c <= 0xDBFF && peek() >= 0xDC00 && peek() <= 0xDFFF) {
        const char32_t low = peek();
        ++pos_;
        return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      }
      return c;
    }
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

  std::u16string_view identSequence() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && isName(text_[pos_])) ++pos_;
    if (!validEscape(peek(), peek(1))) return text_.substr(start, pos_ - start);
    Value name(*this, start);
    while (true) {
      const char32_t c = peek();
      if (isName(c)) {
        if (name.decoding()) name.add(c);
        ++pos_;
      } else if (validEscape(c, peek(1))) {
        name.beginDecoding(pos_);
        ++pos_;
        name.add(escapedCodePoint());
      } else {
        return name.view(pos_);
      }
    }
  }

  static CSSToken make(CSSTokenType type, std::u16string_view value = {}) {
    CSSToken token;
    token.type = type;
    token.value = value;
    return token;
  }
  static CSSToken delim(char32_t c) {
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
    Value value(*this, pos_);
    while (true) {
      const char32_t c = peek();
      if (c == kEOF) break;
      if (c == '\n') {
        token.type = CSSTokenType::badString;
        break;
      }
      if (c == ending) {
        token.value = value.view(pos_);
        ++pos_;
        return token;
      }
      if (c == '\\') {
        value.beginDecoding(pos_);
        ++pos_;
        if (peek() == kEOF) continue;
        if (peek() == '\n') {
          ++pos_;
          continue;
        }
        value.add(escapedCodePoint());
      } else {
        if (value.decoding()) value.add(c);
        ++pos_;
      }
    }
    token.value = value.view(pos_);
    return token;
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
    const std::u16string_view name = identSequence();
    if (peek() != '(') return make(CSSTokenType::ident, name);
    ++pos_;
    if (cssNameIs(name, "url")) {
      while (isWhitespace(peek()) && isWhitespace(peek(1))) ++pos_;
      const char32_t c = isWhitespace(peek()) ? peek(1) : peek();
      if (c != '"' && c != '\'') return url();
    }
    return make(CSSTokenType::function, name);
  }

  CSSToken url() {
    CSSToken token = make(CSSTokenType::url);
    while (isWhitespace(peek())) ++pos_;
    Value value(*this, pos_);
    while (true) {
      const char32_t c = peek();
      if (c == kEOF) break;
      if (c == ')') {
        token.value = value.view(pos_);
        ++pos_;
        return token;
      }
      if (isWhitespace(c)) {
        token.value = value.view(pos_);
        while (isWhitespace(peek())) ++pos_;
        if (peek() == kEOF) return token;
        if (peek() == ')') {
          ++pos_;
          return token;
        }
        return badURLRemnants();
      }
      if (c == '"' || c == '\'' || c == '(' || isNonPrintable(c)) {
        ++pos_;
        return badURLRemnants();
      }
      if (c == '\\') {
        if (!validEscape(c, peek(1))) {
          ++pos_;
          return badURLRemnants();
        }
        value.beginDecoding(pos_);
        ++pos_;
        value.add(escapedCodePoint());
      } else {
        if (value.decoding()) value.add(c);
        ++pos_;
      }
    }
    token.value = value.view(pos_);
    return token;
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

  std::u16string_view text_;
  std::vector<char16_t>& decoded_;
  std::size_t maxNesting_;
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

bool startsWithLiteral(std::u16string_view text, std::size_t at, std::string_view lower) {
  return text.size() - at >= lower.size() && cssNameIs(text.substr(at, lower.size()), lower);
}

// The white space of a JavaScript regular expression's "\s", which style scanners use.
bool isScannerSpace(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == ' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

// Whether one of the words that scanners of style text look for begins at `at`. In a name,
// "url" at the end counts: a "(" may follow it.
bool startsScannedWord(std::u16string_view text, std::size_t at, bool string) {
  if (text[at] == '@') return startsWithLiteral(text, at, "@import");
  switch (text[at] | 0x20) {
    case 'e': return startsWithLiteral(text, at, "expression");
    case 'b': return startsWithLiteral(text, at, "behavior") || startsWithLiteral(text, at, "binding");
    case 'j': return string && startsWithLiteral(text, at, "javascript:");
    case 'v': return string && startsWithLiteral(text, at, "vbscript:");
    case 'u': {
      if (!startsWithLiteral(text, at, "url")) return false;
      std::size_t i = at + 3;
      while (i < text.size() && isScannerSpace(text[i])) ++i;
      return i == text.size() ? !string : text[i] == '(';
    }
    default: return false;
  }
}

// An identifier's or hash's name, escaped where it must be. `hidden`: a character to escape
// in any case.
void appendName(std::u16string& out, std::u16string_view name, bool ident, std::size_t hidden) {
  // Characters written as they are go out in runs.
  std::size_t run = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c < 0x80) {
      const std::uint8_t kind = kASCII[c];
      if ((kind & kWordStart) != 0 && startsScannedWord(name, i, false)) hidden = i + 1;
      const bool leadingDigit = ident && isDigit(c) && (i == 0 || (i == 1 && name[0] == '-'));
      if ((kind & kName) != 0 && i != hidden && !leadingDigit) continue;
    } else if (i != hidden) {
      continue;
    }
    out.append(name.data() + run, i - run);
    run = i + 1;
    if (c < 0x20 || c == 0x7F || c == '<' || c == '>' || i == hidden || isDigit(c)) {
      appendHexEscape(out, c);
    } else {
      out.push_back('\\');
      out.push_back(c);
    }
  }
  out.append(name.data() + run, name.size() - run);
}

}  // namespace

CSSTokens tokenizeCSS(std::u16string_view css, std::size_t maxNesting) {
  CSSTokens result;
  std::u16string_view text = css;
  if (needsPreprocessing(css)) {
    result.text_ = preprocess(css);
    text = std::u16string_view(result.text_.data(), result.text_.size());
  }
  // About one token for every four characters in the CSS of mail.
  result.tokens.reserve(text.size() / 4 + 4);
  Tokenizer(text, result.decoded_, maxNesting).run(result.tokens);
  return result;
}

bool cssNameIs(std::u16string_view name, std::string_view lower) {
  if (name.size() != lower.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (asciiLower(name[i]) != static_cast<char16_t>(lower[i])) return false;
  }
  return true;
}

bool cssNameEndsWith(std::u16string_view name, std::string_view lower) {
  return name.size() >= lower.size() && cssNameIs(name.substr(name.size() - lower.size()), lower);
}

void appendCSSIdent(std::u16string& out, std::u16string_view name) {
  if (name == u"-") {
    out += u"\\-";
    return;
  }
  appendName(out, name, true, CSSToken::npos);
}

void appendCSSAtKeyword(std::u16string& out, std::u16string_view name, bool rule) {
  out.push_back('@');
  // Only the keyword of an @import rule spells "@import"; its target is a checked URL.
  const bool spellsImport = name.size() >= 6 && cssNameIs(name.substr(0, 6), "import");
  if (name == u"-") {
    out += u"\\-";
  } else {
    appendName(out, name, true, spellsImport && !(rule && name.size() == 6) ? 0 : CSSToken::npos);
  }
}

void appendCSSString(std::u16string& out, std::u16string_view text) {
  out.push_back('"');
  std::size_t hidden = CSSToken::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (startsScannedWord(text, i, true)) hidden = i + 1;
    if (c < 0x20 || c == 0x7F || c == '<' || c == '>' || i == hidden) {
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
    case CSSTokenType::atKeyword: appendCSSAtKeyword(out, token.value, false); break;
    case CSSTokenType::hash:
      out.push_back('#');
      appendName(out, token.value, false, CSSToken::npos);
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
      const std::size_t unit = out.size();
      appendCSSIdent(out, token.unit);
      // "1\65 5" is 1 with the unit "e5"; written plainly it would read as 100000.
      const std::u16string_view written = std::u16string_view(out).substr(unit);
      const bool readsAsExponent =
          written.size() >= 2 && (written[0] | 0x20) == 'e' &&
          (isDigit(written[1]) || (written[1] == '-' && written.size() >= 3 && isDigit(written[2])));
      if (readsAsExponent) {
        const char16_t e = written[0];
        std::u16string escape;
        appendHexEscape(escape, e);
        out.replace(unit, 1, escape);
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
