#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace HTMLFilter {

// The tokens of CSS Syntax Level 3. Comments produce none.
enum class CSSTokenType : std::uint8_t {
  ident,
  function,  // value is the name; the token stands for "name("
  atKeyword,
  hash,
  string,
  badString,  // a string cut by a newline: makes what holds it invalid
  url,        // an unquoted url(...): value is the URL
  badURL,
  delim,
  number,
  percentage,
  dimension,
  whitespace,
  cdo,  // "<!--"
  cdc,  // "-->"
  colon,
  semicolon,
  comma,
  openSquare,
  closeSquare,
  openParen,
  closeParen,
  openCurly,
  closeCurly,
};

struct CSSToken {
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // Names, strings and URLs with their escapes resolved; for numeric tokens the digits as
  // written (sign, fraction and exponent included), which are kept so that a number reads
  // back exactly. Views into the text tokenized or into the CSSTokens that holds the token.
  std::u16string_view value;
  std::u16string_view unit;  // of a dimension, escapes resolved
  // Openers (function, "(", "[", "{"): the index of the closer that ends the block, npos when
  // the text ends first (the block then runs to the end, as in a browser).
  std::size_t match = npos;
  CSSTokenType type = CSSTokenType::delim;
  char16_t delim = 0;
  bool matched = false;  // a closer that ends a block; a stray closer is an ordinary token
  bool tooDeep = false;  // an opener nested more than the tokenizer's limit
};

// The tokens of one text, with the storage their values may point into. The values may
// also point into the text given to tokenizeCSS, which must outlive this.
class CSSTokens {
 public:
  CSSTokens() = default;
  CSSTokens(const CSSTokens&) = delete;
  CSSTokens& operator=(const CSSTokens&) = delete;
  CSSTokens(CSSTokens&&) noexcept = default;
  CSSTokens& operator=(CSSTokens&&) noexcept = default;
  ~CSSTokens() = default;

  std::vector<CSSToken> tokens;

 private:
  friend CSSTokens tokenizeCSS(std::u16string_view css, std::size_t maxNesting);
  // The preprocessed text where it differs from the input, and the values that escapes
  // changed. Vectors, as moving one keeps its elements where they are.
  std::vector<char16_t> text_;
  std::vector<char16_t> decoded_;
};

// Tokenizes after the preprocessing of the standard: NUL and lone surrogates become U+FFFD,
// CR LF, CR and FF become LF. Blocks are matched as a browser matches them (a closer ends a
// block only when it is the closer of the innermost open block); an opener deeper than
// `maxNesting` blocks is marked tooDeep. Linear in the input, never throws but for memory.
[[nodiscard]] CSSTokens tokenizeCSS(std::u16string_view css, std::size_t maxNesting);

[[nodiscard]] inline bool isCSSOpener(CSSTokenType type) {
  return type == CSSTokenType::function || type == CSSTokenType::openParen ||
         type == CSSTokenType::openSquare || type == CSSTokenType::openCurly;
}
[[nodiscard]] inline char16_t cssCloserOf(const CSSToken& opener) {
  switch (opener.type) {
    case CSSTokenType::openSquare: return u']';
    case CSSTokenType::openCurly: return u'}';
    default: return u')';
  }
}

// Writers of the canonical form. None writes NUL, "<" or ">" other than as an escape, so a
// string, name or URL can never close a style element or open or close an HTML comment.
// Nor do they spell, in any letter case, "expression", "behavior", "binding", "@import" or
// "url" before "(" (or, in a name, at its end), nor in a string "javascript:" or
// "vbscript:": one letter of each is written as an escape. A browser reads the same name or
// string; a scanner that looks for those words in style text finds none.
void appendCSSIdent(std::u16string& out, std::u16string_view name);
// `rule`: the keyword of an at-rule, which may be "@import".
void appendCSSAtKeyword(std::u16string& out, std::u16string_view name, bool rule);
void appendCSSString(std::u16string& out, std::u16string_view text);
// A token on its own (an opener with its opening character only). A "\" delimiter is written
// with the newline that made it one.
void appendCSSToken(std::u16string& out, const CSSToken& token);
// What goes between two tokens that stood next to each other so that, written one after the
// other, they read back as the same two tokens: "" or "/**/", or " " where a comment would
// itself form "</" or "<!". `written` is the output so far (it ends with `previous`).
[[nodiscard]] std::u16string_view cssSeparator(const CSSToken& previous, const CSSToken& next,
                                               std::u16string_view written);

// Comparisons that CSS makes ASCII case-insensitively, against a lower-case ASCII literal.
[[nodiscard]] bool cssNameIs(std::u16string_view name, std::string_view lower);
[[nodiscard]] bool cssNameEndsWith(std::u16string_view name, std::string_view lower);

}  // namespace HTMLFilter
