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

  CSSTokenType type = CSSTokenType::delim;
  // Names, strings and URLs with their escapes resolved; for numeric tokens the digits as
  // written (sign, fraction and exponent included), which are kept so that a number reads
  // back exactly.
  std::u16string value;
  std::u16string unit;  // of a dimension, escapes resolved
  char16_t delim = 0;
  // Openers (function, "(", "[", "{"): the index of the closer that ends the block, npos when
  // the text ends first (the block then runs to the end, as in a browser).
  std::size_t match = npos;
  bool matched = false;  // a closer that ends a block; a stray closer is an ordinary token
  bool tooDeep = false;  // an opener nested more than the tokenizer's limit
};

// Tokenizes after the preprocessing of the standard: NUL and lone surrogates become U+FFFD,
// CR LF, CR and FF become LF. Blocks are matched as a browser matches them (a closer ends a
// block only when it is the closer of the innermost open block); an opener deeper than
// `maxNesting` blocks is marked tooDeep. Linear in the input, never throws but for memory.
[[nodiscard]] std::vector<CSSToken> tokenizeCSS(std::u16string_view css, std::size_t maxNesting);

[[nodiscard]] bool isCSSOpener(CSSTokenType type);
[[nodiscard]] char16_t cssCloserOf(const CSSToken& opener);

// Writers of the canonical form. None writes NUL, "<" or ">" other than as an escape, so a
// string, name or URL can never close a style element or open or close an HTML comment.
void appendCSSIdent(std::u16string& out, std::u16string_view name);
void appendCSSString(std::u16string& out, std::u16string_view text);
// A token on its own (an opener with its opening character only). A "\" delimiter is written
// with the newline that made it one.
void appendCSSToken(std::u16string& out, const CSSToken& token);
// What goes between two tokens that stood next to each other so that, written one after the
// other, they read back as the same two tokens: "" or "/**/", or " " where a comment would
// itself form "</" or "<!". `written` is the output so far (it ends with `previous`).
[[nodiscard]] std::u16string_view cssSeparator(const CSSToken& previous, const CSSToken& next,
                                               std::u16string_view written);

// ASCII lower case of a name, for comparisons that CSS makes ASCII case-insensitively.
[[nodiscard]] std::u16string cssLower(std::u16string_view name);

}  // namespace HTMLFilter
