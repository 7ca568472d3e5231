#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace HTMLFilter {

// Where a URL stands in CSS.
enum class CSSURLUse : std::uint8_t {
  resource,  // url() or an image-set() string: an image, font or cursor the page loads
  import,    // the target of @import: another style sheet
};

// Filters CSS as a browser reads it: the text is tokenized by the rules of CSS Syntax Level 3
// (escapes resolved, comments removed, function names compared ASCII case-insensitively) and
// written back in one canonical form, so that what is checked here is what the browser sees.
//
// - With removeScripting: a declaration that runs script goes, counted once through
//   `countScripting`: one with a function whose name is "eval" or ends in "expression",
//   and the properties that bind script ("behavior", "-moz-binding", "-ms-behavior").
// - Every URL (url(), image-set() strings, @import targets, in declarations, at-rules and
//   preludes alike) is given to `checkURL`, already unescaped. When it answers false, the
//   declaration that holds the URL goes (for @import: the whole rule).
//   In any other at-rule or selector a refused URL drops that rule. URLs of a statement that
//   goes anyway (script, a bad string or URL, nesting deeper than 64 blocks) are not asked.
// - The output is tokens only: names and strings re-escaped, every URL as url("..."), comments
//   gone, whitespace collapsed. It holds no NUL, "</", "<!--" or "-->" ("<" and ">" in names,
//   strings and URLs are escapes), so it is safe as a style element's text or an attribute
//   value, and filtering it again gives it back unchanged.
// Nothing here throws on any input, and the time taken is linear in its length.
class CSSFilter {
 public:
  using URLCheck = std::function<bool(std::u16string_view url, CSSURLUse use)>;

  CSSFilter(bool removeScripting, URLCheck checkURL, std::function<void()> countScripting);

  // The value of a "style" attribute: a list of declarations.
  [[nodiscard]] std::u16string filterDeclarations(std::u16string_view css);
  // The content of a "style" element: a style sheet. HTML comment delimiters ("<!--",
  // "-->") around or inside it are dropped, as CSS ignores them.
  [[nodiscard]] std::u16string filterStyleSheet(std::u16string_view css);

 private:
  bool removeScripting_;
  URLCheck checkURL_;
  std::function<void()> countScripting_;
};

}  // namespace HTMLFilter
