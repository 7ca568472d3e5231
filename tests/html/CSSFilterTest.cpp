#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "html/CSSFilter.h"

namespace {

using namespace std::literals;
using HTMLFilter::CSSFilter;
using HTMLFilter::CSSURLUse;

enum class Kind : std::uint8_t { declarations, sheet };

// NOLINTNEXTLINE(clang-analyzer-optin.performance.Padding): fields in the order a row reads
struct Case {
  const char* name;
  Kind kind;
  std::u16string_view css;
  bool removeScripting;
  std::u16string_view refuse;  // URLs that contain this are refused; empty: all allowed
  std::u16string_view filtered;
  int scripting;             // times countScripting was called
  std::u16string_view seen;  // the URLs asked about, "r:" resource or "i:" import, each ended by "|"
};

struct Outcome {
  std::u16string filtered;
  int scripting = 0;
  std::u16string seen;
};

Outcome filter(Kind kind, std::u16string_view css, bool removeScripting, std::u16string_view refuse) {
  Outcome outcome;
  CSSFilter cssFilter(
      removeScripting,
      [&](std::u16string_view url, CSSURLUse use) {
        outcome.seen += use == CSSURLUse::import ? u"i:" : u"r:";
        outcome.seen += url;
        outcome.seen += u"|";
        return refuse.empty() || url.find(refuse) == std::u16string_view::npos;
      },
      [&] { ++outcome.scripting; });
  outcome.filtered =
      kind == Kind::sheet ? cssFilter.filterStyleSheet(css) : cssFilter.filterDeclarations(css);
  return outcome;
}

std::string narrow(std::u16string_view text) {
  std::string out;
  for (const char16_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      out += "<U+" + std::to_string(static_cast<unsigned>(c)) + ">";
    }
  }
  return out;
}

constexpr Kind D = Kind::declarations;
constexpr Kind S = Kind::sheet;

const Case scriptingCases[] = {
    {"expression", D, u"width:expression(alert(1));color:red", true, u"", u"color:red", 1, u""},
    {"kept without removeScripting", D, u"width:expression(alert(1));color:red", false, u"",
     u"width:e\\78 pression(alert(1));color:red", 0, u""},
    {"any letter case", D, u"a:EXPRESSION(1);b:Eval(2);c:1", true, u"", u"c:1", 2, u""},
    {"escaped name", D, u"a:e\\78pression(1);b:\\65 val(2);c:1", true, u"", u"c:1", 2, u""},
    {"name ending in expression", D, u"a:x-expression(1);b:myexpression(2);c:evaluate(3)", true, u"",
     u"c:evaluate(3)", 2, u""},
    // Current browsers read "ex/**/pression(" as the name "ex" and a function "pression";
    // old Internet Explorer dropped the comment and ran it. It goes, being valid nowhere.
    {"comment inside the name", D, u"a:ex/**/pression(1);b:ev/**/al(2);c:x/**/eval(3)", true, u"",
     u"c:x/**/eval(3)", 2, u""},
    {"space inside the name is no function", D, u"a:ex pression(1)", true, u"", u"a:ex pression(1)", 0, u""},
    {"nested in a value", D, u"a:calc(1px + expression(1))", true, u"", u"", 1, u""},
    {"binding properties", D, u"behavior:url(a.htc);-MOZ-binding:url(x);-ms-behavior:y;be\\68 avior:z;c:d",
     true, u"", u"c:d", 4, u""},
    {"binding property kept without removeScripting", D, u"behavior:url(a.htc)", false, u"",
     u"b\\65 havior:url(\"a.htc\")", 0, u"r:a.htc|"},
    {"property name elsewhere", D, u"content:behavior;font:x behavior:y", true, u"",
     u"content:b\\65 havior;font:x b\\65 havior:y", 0, u""},
    {"in a rule", S, u"a{color:red;x:expression(1)}b{behavior:url(x)}", true, u"", u"a{color:red}b{}", 2,
     u""},
    {"in a selector", S, u"a:expression(1){b:c}d{e:f}", true, u"", u"d{e:f}", 1, u""},
    {"nested media", S, u"@media screen{a{b:eval(x);c:d}@media print{e{f:expression(1)}}}", true, u"",
     u"@media screen{a{c:d}@media print{e{}}}", 2, u""},
    // Old engines read a name before a "(" block as a function, as scanners of style text do.
    {"space before the parenthesis", D, u"a:expression (1);b:eval\t(2);c:ex/**/pression (3);d:e", true, u"",
     u"d:e", 3, u""},
};

const Case urlCases[] = {
    {"url token", D, u"background:url(a.png)", true, u"", u"background:url(\"a.png\")", 0, u"r:a.png|"},
    {"refused url drops the declaration", D, u"a:url(evil.png);b:c", true, u"evil", u"b:c", 0,
     u"r:evil.png|"},
    {"upper case", D, u"a:URL(evil)", true, u"evil", u"", 0, u"r:evil|"},
    {"escaped name", D, u"a:u\\72l(x\\29 y)", true, u"", u"a:url(\"x)y\")", 0, u"r:x)y|"},
    // A URL to old Internet Explorer, which removed comments first, and to scanners of style
    // text; none the check could be asked about. It goes, being valid nowhere.
    {"comment inside url(", D, u"background:ur/**/l(http://t.example/a);c:d", true, u"", u"c:d", 0, u""},
    {"comment inside url( kept from scripting", D, u"a:ur/**/l(javascript:x);b:u/**/r/**/l('vbscript:y');c:d",
     true, u"", u"c:d", 2, u""},
    {"space before the parenthesis", D, u"background:\n url (javascript:ooxx);color:red", true, u"", u"color:red",
     1, u""},
    {"space before the parenthesis without removeScripting", D, u"background:\n url (javascript:ooxx);color:red",
     false, u"", u"color:red", 0, u""},
    {"space before the parenthesis, any spelling", D,
     u"a:url (\"http://x/\");b:U\\72L\t(x);c:u/**/rl (x);d:url/**/(x);e:ur/**/l (x);f:g", true, u"", u"f:g", 0,
     u""},
    {"script scheme in the block read as a browser would", D,
     u"a:url (\"JAVA\\53 cript:x\");b:url (vb script:y);c:url (java/**/script:z);d:url (x javascript);e:f", true,
     u"", u"e:f", 3, u""},
    {"space before the parenthesis in a rule", S, u"a{background:url (javascript:x)}b{c:d}", true, u"",
     u"a{}b{c:d}", 1, u""},
    {"space before the parenthesis in a selector", S, u"a:not(url (x)){b:c}d{e:f}", true, u"", u"d{e:f}", 0,
     u""},
    {"quoted with spaces", D, u"a:url( 'a b' )", true, u"", u"a:url(\"a b\")", 0, u"r:a b|"},
    {"comment characters stay in the string", D, u"a:url(x/*y*/\\29)", true, u"",
     u"a:url(\"x/*y*/)\")", 0, u"r:x/*y*/)|"},
    {"bad url", D, u"a:url(a b);c:url(x\"y);d:e", true, u"", u"d:e", 0, u""},
    {"image-set strings", D, u"a:image-set(\"a.png\" 1x,'evil.png' 2x)", true, u"evil", u"", 0,
     u"r:a.png|r:evil.png|"},
    {"webkit image-set", D, u"a:-webkit-image-set(\"a.png\" 1x)", true, u"",
     u"a:-webkit-image-set(\"a.png\" 1x)", 0, u"r:a.png|"},
    {"other strings are no URLs", D, u"content:\"evil\";font-family:'evil'", true, u"evil",
     u"content:\"evil\";font-family:\"evil\"", 0, u""},
    {"every URL of a declaration until one is refused", D, u"a:url(1),url(evil),url(3)", true, u"evil",
     u"", 0, u"r:1|r:evil|"},
    {"import string and url", S, u"@import \"x.css\";@import url(y.css) screen;@import URL( 'z.css' );", true,
     u"", u"@import \"x.css\";@import url(\"y.css\") screen;@import url(\"z.css\");", 0,
     u"i:x.css|i:y.css|i:z.css|"},
    {"refused import", S, u"@import \"evil.css\";@import url(evil.css);a{b:c}", true, u"evil", u"a{b:c}", 0,
     u"i:evil.css|i:evil.css|"},
    // A browser ignores an unknown at-rule, but the filter does not bet on which it knows.
    {"import inside another prelude", S, u"@keyfrYmes k@import \"evil.css\";@x @import url('y');", true,
     u"evil", u"@x @\\69 mport url(\"y\");", 0, u"i:evil.css|i:y|"},
    {"import without a target", S, u"@import foo;@import;a{b:c}", true, u"", u"a{b:c}", 0, u""},
    {"font-face", S, u"@font-face{font-family:x;src:url(f.woff) format(\"woff\"),local(y)}", true, u"",
     u"@font-face{font-family:x;src:url(\"f.woff\") format(\"woff\"),local(y)}", 0, u"r:f.woff|"},
    {"refused in a font-face", S, u"@font-face{font-family:x;src:url(evil.woff)}", true, u"evil",
     u"@font-face{font-family:x}", 0, u"r:evil.woff|"},
    {"in an at-rule prelude", S, u"@supports (background:url(evil)){a{b:c}}d{e:f}", true, u"evil",
     u"d{e:f}", 0, u"r:evil|"},
    {"in a selector", S, u"a:not(url(evil)){b:c}d{e:f}", true, u"evil", u"d{e:f}", 0, u"r:evil|"},
    {"not asked for what goes anyway", D, u"a:expression(url(x))", true, u"", u"", 1, u""},
};

const Case structureCases[] = {
    {"whitespace and comments", D, u"  color : /* c */ red ;; margin:0  1px\t\n2px ", true, u"",
     u"color:red;margin:0 1px 2px", 0, u""},
    {"important", D, u"a:b ! IMPORTANT;c:!important;d:e!important x", true, u"",
     u"a:b !important;c:!important;d:e!important x", 0, u""},
    {"custom property", D, u"--main-color: #06c ;color:var(--main-color)", true, u"",
     u"--main-color:#06c;color:var(--main-color)", 0, u""},
    {"numbers", D, u"a:1.5em -.5px +2 10% 1e3 1\\65 5 5e5", true, u"",
     u"a:1.5em -.5px +2 10% 1e3 1\\65 5 5e5", 0, u""},
    {"unicode-range", S, u"@font-face{unicode-range:U+0-7F,u+4??,U+0025-00FF}", true, u"",
     u"@font-face{unicode-range:U+0-7F,u+4??,U+0025-00FF}", 0, u""},
    {"identifiers re-escaped", D, u"font-family:\\31 a,\\-,a\\ b,\\\"x;b:\\61", true, u"",
     u"font-family:\\31 a,\\-,a\\ b,\\\"x;b:a", 0, u""},
    {"tokens kept apart", D, u"a:1/**/2 a/**/b #a/**/b -/**/1 ./**/5 //**/*", true, u"",
     u"a:1/**/2 a/**/b #a/**/b -/**/1 ./**/5 //**/*", 0, u""},
    {"not a declaration", D, u"a;b:c;{x:y}d:e;@media x{f:g}h:i", true, u"", u"b:c;d:e;h:i", 0, u""},
    {"selectors and combinators", S, u"a > b + c ~ d, #id.cls[href^=\"x\"]:not(:hover)::before{color:#abc}",
     true, u"", u"a > b + c ~ d, #id.cls[href^=\"x\"]:not(:hover)::before{color:#abc}", 0, u""},
    {"keyframes", S, u"@keyframes k{from{top:0}50%{top:1px}}", true, u"",
     u"@keyframes k{from{top:0}50%{top:1px}}", 0, u""},
    {"nesting", S, u"a{b:c;&:hover{d:e}f g{h:i}@media x{j:k}l:m}", true, u"",
     u"a{b:c;&:hover{d:e}f g{h:i}@media x{j:k}l:m}", 0, u""},
    {"media ranges", S, u"@media (400px<=width<600px){a{b:c}}", true, u"",
     u"@media (400px<=width<600px){a{b:c}}", 0, u""},
    {"HTML comment delimiters dropped", S, u"<!-- a{b:c} --> <!-- d{e:f} -->", true, u"", u"a{b:c}d{e:f}", 0,
     u""},
    {"CDC inside a rule", S, u"a{b:c -->;d:e}", true, u"", u"a{d:e}", 0, u""},
    {"rule without a block", S, u"a{b:c}d", true, u"", u"a{b:c}", 0, u""},
    {"stray closers", S, u"}a{b:c)}", true, u"", u"}a{b:c)}", 0, u""},
};

// What a browser reads from text that ends too early, is broken, or is not plain ASCII.
const Case edgeCases[] = {
    {"unclosed block", S, u"@media x{a{b:c", true, u"", u"@media x{a{b:c}}", 0, u""},
    {"unclosed function", D, u"a:b(c[d", true, u"", u"a:b(c[d])", 0, u""},
    {"unclosed string", D, u"a:\"abc", true, u"", u"a:\"abc\"", 0, u""},
    {"unclosed url", D, u"a:url(x.png", true, u"", u"a:url(\"x.png\")", 0, u"r:x.png|"},
    {"unclosed url function", D, u"a:url('x.png'", true, u"", u"a:url(\"x.png\")", 0, u"r:x.png|"},
    {"unclosed comment", D, u"a:b;/* c:d", true, u"", u"a:b", 0, u""},
    {"ends with a backslash", D, u"a:b\\", true, u"", u"a:b\uFFFD", 0, u""},
    {"ends after the colon", D, u"a:", true, u"", u"a:", 0, u""},
    {"ends in the name", D, u"a:b;c", true, u"", u"a:b", 0, u""},
    {"bad string ends at the newline", S, u"a{b:\"x\ny;c:d}", true, u"", u"a{c:d}", 0, u""},
    {"escaped newline in a string", D, u"a:\"x\\\ny\"", true, u"", u"a:\"xy\"", 0, u""},
    {"backslash before a newline", D, u"a:b \\\n c", true, u"", u"a:b \\\nc", 0, u""},
    {"NUL", D, u"a:b\0c;\0:d;e:\"\0\""sv, true, u"", u"a:b\uFFFDc;\uFFFD:d;e:\"\uFFFD\"", 0, u""},
    {"escaped NUL and surrogates", D, u"a:\\0 \\D800 \\110000", true, u"", u"a:\uFFFD\uFFFD\uFFFD", 0, u""},
    {"lone CR and FF", D, u"a:b\rc:d\fe\r\nf", true, u"", u"a:b c:d e f", 0, u""},
    {"string with a CR", D, u"a:\"x\ry;b:c", true, u"", u"b:c", 0, u""},
    {"8-bit and wide characters", D, u"font-family:caf\u00E9,\u00FF\u4E2D;content:\"\u00A0\U0001F600\"", true,
     u"", u"font-family:caf\u00E9,\u00FF\u4E2D;content:\"\u00A0\U0001F600\"", 0, u""},
    {"lone surrogate", D, u"a:\xD800x", true, u"", u"a:\uFFFDx", 0, u""},
    {"control characters are escaped", D, u"a:\"\x01\x1F\x7F\" \\1 x", true, u"", u"a:\"\\1 \\1f \\7f \" \\1 x",
     0, u""},
};

// Output that the HTML filter writes into a style element or an attribute.
const Case markupCases[] = {
    // Scanners of style text look for these words anywhere; one letter of each is escaped.
    {"words scanners look for", D,
     u"font-family:\"Behavior\",binding;content:\"url(x) URL\u00A0(y) expression javascript:a VBScript:b @import\"",
     true, u"",
     u"font-family:\"B\\65 havior\",b\\69 nding;content:\"u\\72 l(x) U\\52 L\u00A0(y) e\\78 pression "
     u"j\\61 vascript:a V\\42 Script:b @\\69 mport\"",
     0, u""},
    {"url at the end of a name", D, u"a:myurl(x);--bg-url:1;b:1url (x);c:#URL", true, u"",
     u"a:myu\\72 l(x);--bg-u\\72 l:1;b:1u\\72 l (x);c:#U\\52 L", 0, u""},
    {"words in at-keywords and hashes", S, u"@imports x;@IMPORT 'y';a{b:#behavior @expression}", true, u"",
     u"@\\69 mports x;@IMPORT \"y\";a{b:#b\\65 havior @e\\78 pression}", 0, u"i:y|"},
    {"end tag in a string", S, u"a{content:\"</style><script>x\"}", true, u"",
     u"a{content:\"\\3c /style\\3e \\3c script\\3e x\"}", 0, u""},
    {"end tag in a url", D, u"a:url(</style>)", true, u"", u"a:url(\"\\3c /style\\3e \")", 0,
     u"r:</style>|"},
    {"end tag in a name", D, u"a:\\3c/style", true, u"", u"a:\\3c /style", 0, u""},
    {"delimiters kept from forming markup", D, u"a:b<//**/x;c:x<!/**/--y;d:e-/**/->", true, u"",
     u"a:b< /x;c:x< !--y;d:e-/**/-/**/>", 0, u""},
    {"comment opener and closer are dropped", D, u"a:b<!--c;d:e -->;f:g;h:i--> j", true, u"", u"f:g;h:i--/**/> j", 0, u""},
    {"escaped comment closer", D, u"a:b--\\>", true, u"", u"a:b--\\3e ", 0, u""},
};

void expectCase(const Case& c) {
  SCOPED_TRACE(c.name);
  const Outcome outcome = filter(c.kind, c.css, c.removeScripting, c.refuse);
  EXPECT_EQ(narrow(outcome.filtered), narrow(c.filtered));
  EXPECT_EQ(outcome.scripting, c.scripting);
  EXPECT_EQ(narrow(outcome.seen), narrow(c.seen));
  // Filtered once more, the output stays as it is and nothing more is removed.
  const Outcome again = filter(c.kind, outcome.filtered, c.removeScripting, c.refuse);
  EXPECT_EQ(narrow(again.filtered), narrow(outcome.filtered)) << "not a fixed point";
  EXPECT_EQ(again.scripting, 0);
}

TEST(CSSFilter, Scripting) {
  for (const Case& c : scriptingCases) expectCase(c);
}
TEST(CSSFilter, URLs) {
  for (const Case& c : urlCases) expectCase(c);
}
TEST(CSSFilter, Structure) {
  for (const Case& c : structureCases) expectCase(c);
}
TEST(CSSFilter, BrokenAndEarlyEndingInput) {
  for (const Case& c : edgeCases) expectCase(c);
}
TEST(CSSFilter, OutputIsSafeAsMarkup) {
  for (const Case& c : markupCases) expectCase(c);
}

TEST(CSSFilter, DeepNestingIsDropped) {
  std::u16string deep = u"a:b;c:";
  for (int i = 0; i < 100000; ++i) deep += u"(";
  EXPECT_EQ(narrow(filter(D, deep, true, u"").filtered), "a:b");
  std::u16string rules = u"x{y:z}";
  for (int i = 0; i < 100000; ++i) rules += u"@media a{";
  const std::u16string sheet = filter(S, rules, true, u"").filtered;
  EXPECT_EQ(sheet.substr(0, 6), u"x{y:z}");
  EXPECT_LE(sheet.size(), 6U + 64U * std::u16string_view(u"@media a{}").size());
  // Within the limit nothing is lost.
  std::u16string shallow = u"a:";
  for (int i = 0; i < 60; ++i) shallow += u"f(";
  EXPECT_EQ(filter(D, shallow, true, u"").filtered, shallow + std::u16string(60, u')'));
}

TEST(CSSFilter, LongInput) {
  std::u16string css;
  for (int i = 0; i < 20000; ++i) css += u"a{b:url(x.png) 1px;c:expression(1)}";
  int urls = 0;
  int scripting = 0;
  CSSFilter cssFilter(
      true, [&](std::u16string_view, CSSURLUse) { return ++urls, true; }, [&] { ++scripting; });
  const std::u16string filtered = cssFilter.filterStyleSheet(css);
  EXPECT_EQ(urls, 20000);
  EXPECT_EQ(scripting, 20000);
  EXPECT_EQ(filtered.size(), 20000U * std::u16string_view(u"a{b:url(\"x.png\") 1px}").size());
  // One long token.
  const std::u16string name = u"a:" + std::u16string(1000000, u'x');
  EXPECT_EQ(cssFilter.filterDeclarations(name), name);
}

}  // namespace
