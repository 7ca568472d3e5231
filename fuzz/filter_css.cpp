// Filters arbitrary text as a style sheet and as a style attribute, with and without
// removeScripting, and checks what the HTML filter relies on: the output cannot end a style
// element or open or close an HTML comment, holds no NUL, filters to itself, runs no script
// when scripting is removed, and every URL in it was allowed by the check (which refuses the
// URLs that contain "evil"), and none of the words that scanners of style text flag is
// spelled but where the filter asked about the URL.
//
// The input is read twice: each byte as one character, and (for an even size) each pair of
// bytes as one UTF-16 code unit, so that wide characters and lone surrogates are reached.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "html/CSSFilter.h"
#include "html/CSSTokenizer.h"

namespace {

using HTMLFilter::CSSToken;
using HTMLFilter::CSSTokenType;

bool refused(std::u16string_view url) { return url.find(u"evil") != std::u16string_view::npos; }

std::u16string filter(std::u16string_view css, bool sheet, bool removeScripting) {
  HTMLFilter::CSSFilter cssFilter(
      removeScripting, [](std::u16string_view url, HTMLFilter::CSSURLUse) { return !refused(url); }, [] {});
  return sheet ? cssFilter.filterStyleSheet(css) : cssFilter.filterDeclarations(css);
}

std::u16string lower(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + ('a' - 'A'));
  }
  return out;
}

bool endsWithExpression(const std::u16string& name) {
  constexpr std::u16string_view expression = u"expression";
  return name.size() >= expression.size() && name.compare(name.size() - expression.size(), expression.size(), expression) == 0;
}

void checkTokens(std::u16string_view output, bool removeScripting) {
  const HTMLFilter::CSSTokens list = HTMLFilter::tokenizeCSS(output, 1000000);
  const std::vector<CSSToken>& tokens = list.tokens;
  std::vector<bool> urlStrings;  // per open block: whether its strings are URLs
  bool statementStart = true;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const CSSToken& token = tokens[i];
    const std::u16string name = lower(token.value);
    if (removeScripting && token.type == CSSTokenType::function) {
      std::u16string joined = name;
      for (std::size_t j = i; j > 0 && joined.size() <= 16 && tokens[j - 1].type == CSSTokenType::ident; --j) {
        joined.insert(0, lower(tokens[j - 1].value));
      }
      check(joined != u"eval" && !endsWithExpression(joined), "no script function is left");
    }
    if (removeScripting && statementStart && token.type == CSSTokenType::ident &&
        (name == u"behavior" || name == u"-moz-binding" || name == u"-ms-behavior")) {
      std::size_t colon = i + 1;
      while (colon < tokens.size() && tokens[colon].type == CSSTokenType::whitespace) ++colon;
      check(colon >= tokens.size() || tokens[colon].type != CSSTokenType::colon, "no binding property is left");
    }
    if (token.type != CSSTokenType::whitespace) {
      statementStart = token.type == CSSTokenType::semicolon || token.type == CSSTokenType::openCurly ||
                       token.type == CSSTokenType::closeCurly;
    }
    if (HTMLFilter::isCSSOpener(token.type)) {
      const bool url = name == u"url" || name == u"src" || name == u"image" || name == u"image-set" ||
                       name == u"-webkit-image-set";
      urlStrings.push_back((!urlStrings.empty() && urlStrings.back()) || (token.type == CSSTokenType::function && url));
      continue;
    }
    if (token.matched && !urlStrings.empty()) urlStrings.pop_back();
    bool importTarget = false;
    if (token.type == CSSTokenType::string) {
      std::size_t at = i;
      while (at > 0 && tokens[at - 1].type == CSSTokenType::whitespace) --at;
      importTarget = at > 0 && tokens[at - 1].type == CSSTokenType::atKeyword &&
                     lower(tokens[at - 1].value) == u"import";
    }
    const bool isURL = token.type == CSSTokenType::url ||
                       (token.type == CSSTokenType::string && (importTarget || (!urlStrings.empty() && urlStrings.back())));
    if (isURL) check(!refused(token.value), "every URL left was allowed");
    check(token.type != CSSTokenType::badURL && token.type != CSSTokenType::badString, "nothing broken is left");
  }
}

bool isScannerSpace(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == ' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

// What the browser check's scanners flag in style text (/@import|url\s*\(|expression|binding|
// behavior/i), but for a url("...") the filter wrote (its URL was asked about) and the
// keyword of an @import rule (its target was).
void checkScannedWords(std::u16string_view output) {
  const std::u16string text = lower(output);
  const std::u16string_view out = text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const std::u16string_view rest = out.substr(i);
    check(!rest.starts_with(u"expression") && !rest.starts_with(u"binding") && !rest.starts_with(u"behavior"),
          "no expression, binding or behavior in the text");
    if (rest.starts_with(u"@import")) {
      const char16_t next = rest.size() > 7 ? rest[7] : u' ';
      check(next == ' ' || next == ';' || next == '{' || next == '}', "@import only as a rule's keyword");
    }
    if (rest.starts_with(u"url")) {
      std::size_t j = 3;
      while (j < rest.size() && isScannerSpace(rest[j])) ++j;
      if (j < rest.size() && rest[j] == '(') {
        check(output.substr(i).starts_with(u"url(\""), "url( only as a url(\"...\") the filter wrote");
      }
    }
  }
}

void checkOne(std::u16string_view input, bool sheet, bool removeScripting) {
  const std::u16string once = filter(input, sheet, removeScripting);
  const std::u16string_view out = once;
  check(out.find(u"</") == std::u16string_view::npos, "no \"</\"");
  check(out.find(u"<!--") == std::u16string_view::npos, "no \"<!--\"");
  check(out.find(u"-->") == std::u16string_view::npos, "no \"-->\"");
  check(out.find(u'\0') == std::u16string_view::npos, "no NUL");
  check(filter(once, sheet, removeScripting) == once, "filtering again changes nothing");
  checkTokens(once, removeScripting);
  checkScannedWords(once);
}

void checkAll(std::u16string_view input) {
  for (const bool sheet : {true, false}) {
    for (const bool removeScripting : {true, false}) checkOne(input, sheet, removeScripting);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  checkAll(std::u16string(data, data + size));
  if (size % 2 == 0) {
    std::u16string pairs;
    for (std::size_t i = 0; i < size; i += 2) {
      pairs.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    checkAll(pairs);
  }
  return 0;
}
