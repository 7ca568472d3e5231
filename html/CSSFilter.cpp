#include "html/CSSFilter.h"

#include <string>
#include <utility>
#include <vector>

#include "html/CSSTokenizer.h"

namespace HTMLFilter {

namespace {

// Blocks nested deeper than this are not followed: what holds one is dropped. It bounds the
// recursion of the parser below, whatever the input.
constexpr std::size_t kMaxNesting = 64;

using Type = CSSTokenType;

bool isScriptingProperty(std::u16string_view name) {
  return cssNameIs(name, "behavior") || cssNameIs(name, "-moz-binding") || cssNameIs(name, "-ms-behavior");
}

// Functions whose string arguments are URLs.
bool takesURLStrings(std::u16string_view name) {
  return cssNameIs(name, "url") || cssNameIs(name, "src") || cssNameIs(name, "image") ||
         cssNameIs(name, "image-set") || cssNameIs(name, "-webkit-image-set");
}

bool isScriptScheme(std::u16string_view text) {
  return text.find(u"javascript:") != std::u16string_view::npos ||
         text.find(u"vbscript:") != std::u16string_view::npos;
}

// One filtering pass over one text. The structure follows "consume a stylesheet's contents"
// and "consume a block's contents" of CSS Syntax (with nesting): at-rules, qualified rules and
// declarations, every one either written whole in canonical form or dropped whole.
class Pass {
 public:
  Pass(std::u16string_view css, bool removeScripting, const CSSFilter::URLCheck& checkURL,
       const std::function<void()>& countScripting)
      : list_(tokenizeCSS(css, kMaxNesting)),
        tokens_(list_.tokens),
        removeScripting_(removeScripting),
        checkURL_(checkURL),
        countScripting_(countScripting) {
    out_.reserve(css.size() + 16);
  }

  std::u16string styleSheet() {
    const std::size_t end = tokens_.size();
    for (std::size_t i = 0; i < end;) {
      const Type type = tokens_[i].type;
      // "<!--" and "-->" between rules are there to hide the sheet from old browsers.
      if (type == Type::whitespace || type == Type::cdo || type == Type::cdc) {
        ++i;
      } else if (type == Type::atKeyword) {
        i = atRule(i, end, true);
      } else {
        i = qualifiedRule(i, end, false, true);
      }
    }
    return std::move(out_);
  }

  std::u16string declarationList() {
    blockContents(0, tokens_.size(), false);
    return std::move(out_);
  }

 private:
  // The index after the component value that starts at i.
  [[nodiscard]] std::size_t after(std::size_t i) const {
    const CSSToken& token = tokens_[i];
    if (!isCSSOpener(token.type)) return i + 1;
    return token.match == CSSToken::npos ? tokens_.size() : token.match + 1;
  }
  // The end of a block's contents: its closer, or the end of the text.
  [[nodiscard]] std::size_t contentsEnd(std::size_t opener) const {
    const std::size_t match = tokens_[opener].match;
    return match == CSSToken::npos ? tokens_.size() : match;
  }
  [[nodiscard]] std::size_t skipWhitespace(std::size_t i, std::size_t end) const {
    while (i < end && tokens_[i].type == Type::whitespace) ++i;
    return i;
  }

  // A rule or declaration is a separate statement of its block: one that went before it was
  // a declaration, which needs its ";".
  void beginStatement() {
    if (afterDeclaration_) out_.push_back(';');
    afterDeclaration_ = false;
  }

  // "{" ... "}" or ";" or the end of the enclosing block, from the at-keyword at i.
  std::size_t atRule(std::size_t i, std::size_t end, bool keep) {
    std::size_t j = i + 1;
    std::size_t block = CSSToken::npos;
    while (j < end && tokens_[j].type != Type::semicolon) {
      if (tokens_[j].type == Type::openCurly) {
        block = j;
        break;
      }
      j = after(j);
    }
    const std::size_t preludeEnd = j < end ? j : end;
    const std::size_t next = block != CSSToken::npos ? after(block) : (j < end ? j + 1 : end);
    if (!keep) return next;
    const bool import = cssNameIs(tokens_[i].value, "import");
    if (import) {
      const std::size_t importTarget = skipWhitespace(i + 1, preludeEnd);
      const bool target = importTarget < preludeEnd &&
                          (tokens_[importTarget].type == Type::string ||
                           tokens_[importTarget].type == Type::url ||
                           (tokens_[importTarget].type == Type::function &&
                            cssNameIs(tokens_[importTarget].value, "url")));
      // Nothing is loaded for an @import a browser cannot read, so nothing is lost.
      if (!target) return next;
    }
    if (!acceptable(i, preludeEnd)) return next;
    if (block != CSSToken::npos && tokens_[block].tooDeep) return next;
    beginStatement();
    appendCSSAtKeyword(out_, tokens_[i].value, import);
    const std::size_t preludeStart = skipWhitespace(i + 1, preludeEnd);
    if (preludeStart < preludeEnd) {
      out_.push_back(' ');
      write(preludeStart, preludeEnd);
    }
    if (block == CSSToken::npos) {
      out_.push_back(';');
    } else {
      out_.push_back('{');
      blockContents(block + 1, contentsEnd(block), true);
      out_.push_back('}');
    }
    return next;
  }

  // A prelude and its {} block. Nested in a block, a ";" ends the attempt; at the top of a
  // sheet it is part of the prelude (which no browser then reads as a selector).
  std::size_t qualifiedRule(std::size_t i, std::size_t end, bool nested, bool keep) {
    std::size_t j = i;
    while (j < end && tokens_[j].type != Type::openCurly) {
      if (nested && tokens_[j].type == Type::semicolon) return j + 1;
      j = after(j);
    }
    if (j >= end) return end;  // no block: a browser drops the rule
    const std::size_t next = after(j);
    if (!keep || tokens_[j].tooDeep || !acceptable(i, j)) return next;
    beginStatement();
    write(i, j);
    out_.push_back('{');
    blockContents(j + 1, contentsEnd(j), true);
    out_.push_back('}');
    return next;
  }

  // Declarations, and where rules may stand (a rule's block, not a style attribute) nested
  // at-rules and rules.
  void blockContents(std::size_t begin, std::size_t end, bool rules) {
    afterDeclaration_ = false;
    for (std::size_t i = begin; i < end;) {
      const Type type = tokens_[i].type;
      if (type == Type::whitespace || type == Type::semicolon) {
        ++i;
        continue;
      }
      if (type == Type::atKeyword) {
        i = atRule(i, end, rules);
        continue;
      }
      if (type == Type::ident) {
        const std::size_t colon = skipWhitespace(i + 1, end);
        if (colon < end && tokens_[colon].type == Type::colon) {
          std::size_t j = colon + 1;
          bool block = false;
          while (j < end && tokens_[j].type != Type::semicolon) {
            block = block || tokens_[j].type == Type::openCurly;
            j = after(j);
          }
          // A {} block in a value is no declaration: CSS nesting reads the text as a rule
          // ("a:hover{...}").
          if (!block) {
            declaration(i, colon + 1, j < end ? j : end);
            i = j < end ? j + 1 : end;
            continue;
          }
        }
      }
      i = qualifiedRule(i, end, true, rules);
    }
    afterDeclaration_ = false;
  }

  void declaration(std::size_t name, std::size_t valueBegin, std::size_t end) {
    if (!acceptable(name, end)) return;
    std::size_t valueEnd = end;
    while (valueEnd > valueBegin && tokens_[valueEnd - 1].type == Type::whitespace) --valueEnd;
    bool important = false;
    if (valueEnd > valueBegin && tokens_[valueEnd - 1].type == Type::ident &&
        cssNameIs(tokens_[valueEnd - 1].value, "important")) {
      std::size_t bang = valueEnd - 1;
      while (bang > valueBegin && tokens_[bang - 1].type == Type::whitespace) --bang;
      if (bang > valueBegin && tokens_[bang - 1].type == Type::delim && tokens_[bang - 1].delim == '!') {
        important = true;
        valueEnd = bang - 1;
      }
    }
    beginStatement();
    appendCSSIdent(out_, tokens_[name].value);
    out_.push_back(':');
    const std::size_t written = out_.size();
    write(skipWhitespace(valueBegin, valueEnd), valueEnd);
    if (important) out_ += out_.size() == written ? u"!important" : u" !important";
    afterDeclaration_ = true;
  }

  // Whether the statement in [begin, end) may be written: nothing in it that a browser reads
  // as broken or that is too deep to follow, no script (counted once), no URL that the check
  // cannot see, and every URL in it allowed. URLs are asked about only for a statement that
  // is otherwise kept.
  bool acceptable(std::size_t begin, std::size_t end) {
    bool statementStart = true;
    for (std::size_t i = begin; i < end; ++i) {
      const CSSToken& token = tokens_[i];
      switch (token.type) {
        case Type::badString:
        case Type::badURL:
        case Type::cdo:
        case Type::cdc:
          return false;
        default:
          break;
      }
      if (token.tooDeep) return false;
      if (token.type == Type::function) {
        if (removeScripting_ && namesScript(begin, i)) return countScripting();
        // "ur/**/l(": a URL to old Internet Explorer, which removed comments first.
        if (token.value.size() < 3 && joinedNameIs(begin, i, "url")) return hiddenURL(i);
      } else if (token.type == Type::openParen) {
        // "url (", "expression (": a name and a block to current browsers, which make the
        // statement invalid; a URL or script to old engines and to scanners of style text.
        std::size_t name = i;
        if (name > begin && tokens_[name - 1].type == Type::whitespace) --name;
        if (name > begin && tokens_[name - 1].type == Type::ident) {
          if (joinedNameIs(begin, name - 1, "url")) return hiddenURL(i);
          if (removeScripting_ && namesScript(begin, name - 1)) return countScripting();
        }
      }
      if (!removeScripting_) continue;
      if (token.type == Type::whitespace) continue;
      if (statementStart && token.type == Type::ident && isScriptingProperty(token.value)) {
        const std::size_t colon = skipWhitespace(i + 1, end);
        if (colon < end && tokens_[colon].type == Type::colon) return countScripting();
      }
      statementStart = token.type == Type::semicolon || token.type == Type::openCurly ||
                       token.type == Type::closeCurly;
    }
    return urlsAllowed(begin, end);
  }

  bool countScripting() {
    if (countScripting_) countScripting_();
    return false;
  }

  // A URL that the check cannot be asked about, in the block that opens at `opener`: the
  // statement goes, counted as scripting when the block's text names a script scheme.
  bool hiddenURL(std::size_t opener) {
    if (!removeScripting_) return false;
    // The block's text as an old engine would read it: escapes resolved, without white
    // space, in lower case.
    std::u16string text;
    for (std::size_t i = opener + 1; i < contentsEnd(opener); ++i) {
      const CSSToken& token = tokens_[i];
      switch (token.type) {
        case Type::ident:
        case Type::string:
        case Type::url:
        case Type::number:
          text += token.value;
          break;
        case Type::function:
          text += token.value;
          text.push_back('(');
          break;
        default:
          appendCSSToken(text, token);
          break;
      }
    }
    std::u16string plain;
    for (const char16_t c : text) {
      if (c > ' ') plain.push_back(c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + ('a' - 'A')) : c);
    }
    return isScriptScheme(plain) ? countScripting() : false;
  }

  // Whether the names of the tokens that end at i (the token at i and the identifiers that
  // touch it from before), joined, are `lower` or end with it. "ex/**/pression(" reads as
  // ident "ex" then function "pression" in current browsers, but old Internet Explorer
  // removed the comment and ran it.
  [[nodiscard]] bool joinedName(std::size_t begin, std::size_t i, std::string_view lower, bool whole) const {
    std::size_t rest = lower.size();
    for (std::size_t j = i;; --j) {
      const std::u16string_view name = tokens_[j].value;
      const std::size_t part = name.size() < rest ? name.size() : rest;
      if (!cssNameIs(name.substr(name.size() - part), lower.substr(rest - part, part))) return false;
      rest -= part;
      const bool more = j > begin && tokens_[j - 1].type == Type::ident;
      if (rest == 0) return !whole || (part == name.size() && !more);
      if (!more) return false;
    }
  }
  [[nodiscard]] bool joinedNameIs(std::size_t begin, std::size_t i, std::string_view lower) const {
    return joinedName(begin, i, lower, true);
  }
  [[nodiscard]] bool namesScript(std::size_t begin, std::size_t i) const {
    return joinedName(begin, i, "eval", true) || joinedName(begin, i, "expression", false);
  }

  // Whether the token at i follows an "@import" keyword. Not only the target of an @import
  // rule: the same text in the prelude of another at-rule is read as an import target too.
  [[nodiscard]] bool followsImport(std::size_t begin, std::size_t i) const {
    while (i > begin && tokens_[i - 1].type == Type::whitespace) --i;
    return i > begin && tokens_[i - 1].type == Type::atKeyword && cssNameIs(tokens_[i - 1].value, "import");
  }

  bool urlsAllowed(std::size_t begin, std::size_t end) {
    // Blocks open within the statement, and the depth of the outermost whose strings are URLs
    // (0: none is), which makes the strings of every block inside it URLs too.
    std::size_t depth = 0;
    std::size_t urlDepth = 0;
    std::size_t importString = CSSToken::npos;
    for (std::size_t i = begin; i < end; ++i) {
      const CSSToken& token = tokens_[i];
      if (isCSSOpener(token.type)) {
        ++depth;
        if (urlDepth == 0 && token.type == Type::function && takesURLStrings(token.value)) urlDepth = depth;
        if (token.type == Type::function && cssNameIs(token.value, "url") && followsImport(begin, i)) {
          const std::size_t string = skipWhitespace(i + 1, end);
          if (string < end && tokens_[string].type == Type::string) importString = string;
        }
        continue;
      }
      if (token.matched && depth > 0) {
        if (urlDepth == depth) urlDepth = 0;
        --depth;
        continue;
      }
      if (token.type != Type::url && token.type != Type::string) continue;
      const bool import = i == importString || followsImport(begin, i);
      const bool url = token.type == Type::url || import || urlDepth != 0;
      if (!url || !checkURL_) continue;
      if (!checkURL_(token.value, import ? CSSURLUse::import : CSSURLUse::resource)) return false;
    }
    return true;
  }

  // Writes the tokens of [begin, end) with whitespace collapsed, every URL as url("...") and
  // the blocks still open at the end of the text closed.
  void write(std::size_t begin, std::size_t end) {
    while (end > begin && tokens_[end - 1].type == Type::whitespace) --end;
    std::vector<char16_t> open;
    const CSSToken* previous = nullptr;
    for (std::size_t i = begin; i < end; ++i) {
      const CSSToken& token = tokens_[i];
      if (token.type == Type::whitespace && previous != nullptr && previous->type == Type::delim &&
          previous->delim == '\\') {
        continue;  // the "\" was written with its newline
      }
      if (previous != nullptr) out_ += cssSeparator(*previous, token, out_);
      previous = &token;
      if (token.type == Type::function && cssNameIs(token.value, "url")) {
        const std::size_t string = skipWhitespace(i + 1, end);
        const std::size_t closer = string < end ? skipWhitespace(string + 1, end) : end;
        const bool plain = string < end && tokens_[string].type == Type::string &&
                           (closer == token.match || (closer == end && token.match == CSSToken::npos));
        if (plain) {
          out_ += u"url(";
          appendCSSString(out_, tokens_[string].value);
          out_.push_back(')');
          if (closer == end) break;
          i = closer;
          continue;
        }
      }
      appendCSSToken(out_, token);
      if (isCSSOpener(token.type) && token.match == CSSToken::npos) open.push_back(cssCloserOf(token));
    }
    while (!open.empty()) {
      out_.push_back(open.back());
      open.pop_back();
    }
  }

  CSSTokens list_;
  const std::vector<CSSToken>& tokens_;
  bool removeScripting_;
  const CSSFilter::URLCheck& checkURL_;
  const std::function<void()>& countScripting_;
  std::u16string out_;
  bool afterDeclaration_ = false;
};

}  // namespace

CSSFilter::CSSFilter(bool removeScripting, URLCheck checkURL, std::function<void()> countScripting)
    : removeScripting_(removeScripting),
      checkURL_(std::move(checkURL)),
      countScripting_(std::move(countScripting)) {}

std::u16string CSSFilter::filterDeclarations(std::u16string_view css) {
  return Pass(css, removeScripting_, checkURL_, countScripting_).declarationList();
}

std::u16string CSSFilter::filterStyleSheet(std::u16string_view css) {
  return Pass(css, removeScripting_, checkURL_, countScripting_).styleSheet();
}

}  // namespace HTMLFilter
