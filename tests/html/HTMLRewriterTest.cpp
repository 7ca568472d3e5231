#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "html/HTMLParser.h"
#include "html/HTMLRewriter.h"

namespace {

using namespace std::literals;

struct Case {
  const char* name;
  std::u16string_view html;
  std::string_view written;
};

std::string rewrite(std::u16string_view html) {
  HTMLFilter::HTMLRewriter rewriter;
  HTMLFilter::parseHTML(rewriter, html, false);
  return rewriter.takeOutput();
}

const Case markupCases[] = {
    {"canonical names and quotes", u"<P CLASS=x>Hi<BR>there</P>",
     "<p class=\"x\">\r\n\r\nHi<br>\r\nthere</p>"},
    {"raw names are not used", u"<IMG SRC=a.gif Data_Src='b'>", "<img src=\"a.gif\" datasrc=\"b\">"},
    {"valueless attribute", u"<input checked>", "<input checked>"},
    {"values are encoded", u"<a title='\"<&>' b=\"&amp;lt;\">",
     "<a title=\"&quot;&lt;&amp;&gt;\" b=\"&amp;lt;\">"},
    {"names of nothing are dropped", u"<a =x _=y _>", "<a>"},
    {"unterminated value", u"<a href=\"x", "<a>"},
    {"open tag at the end", u"<b", "<b>"},
    {"end tag", u"</B junk='>'>", "</b>"},
    {"whitespace collapsed", u"x  \r\n y", "x y"},
    {"declaration and processing instruction", u"<!DOCTYPE html><?xml x?>", "<!DOCTYPE html><?xml x?>"},
    {"comment", u"<!-- a > b -->", "<!-- a > b -->"},
    {"unterminated comment", u"<!-- a > b", "<!-- a --> b"},
    {"NUL", u"a\0b<a b='x\0y'>"sv, "a b<a b=\"xy\">"},
    {"URL parameters survive", u"<a href=\"?a=1&copy=2&amp;b=&lt;\">",
     "<a href=\"?a=1&amp;copy=2&amp;b=&lt;\">"},
};

const Case textCases[] = {
    {"named and numeric", u"caf\u00E9 \u0100", "caf&eacute; &#256;"},
    {"tab in pre", u"<pre>a\tb</pre>", "<pre>a&#9;b</pre>"},
    {"markup characters", u"a < b &amp; c", "a &lt; b &amp; c"},
    {"references are written once", u"&amp;lt;", "&amp;lt;"},
    {"above U+FFFF", u"&#128512;\xD83D\xDE00", "&#128512;&#128512;"},
    {"lone surrogate", u"\xD800", "&#65533;"},
    {"HTML5 names", u"&mldr;&apos;&colon;", "&hellip;':"},
};

// Nothing is written as its low 8 bits: U+013C and U+013E would turn into "<" and ">".
const Case rawCases[] = {
    {"script as written", u"<script>if (a<b && c) x='&amp;';</script>",
     "<script>if (a<b && c) x='&amp;';</script>"},
    {"script escapes", u"<script>s='\u013C\u013E\u00E9'</script>",
     "<script>s='\\u013C\\u013E\\u00E9'</script>"},
    {"script pair", u"<script>'\xD83D\xDE00'</script>", "<script>'\\uD83D\\uDE00'</script>"},
    {"script escaped character", u"<script>'\\\u00E9\\\\\u00E9'</script>",
     "<script>'\\u00E9\\\\\\u00E9'</script>"},
    {"style escapes", u"<style>p{content:'\u013Cb\u013E'}</style>",
     "<style>p{content:'\\13C b\\13E '}</style>"},
    {"style pair and lone surrogate", u"<style>\xD83D\xDE00\xD800</style>", "<style>\\1F600 \\FFFD </style>"},
    {"style escaped character", u"<style>a\\\u00E9 b\\\\\u00E9</style>", "<style>a\\E9  b\\\\\\E9 </style>"},
    {"comment element", u"<comment>\u013Cx\u013E</comment>", "<comment>?x?</comment>"},
    {"comment", u"<!-- \u013Cb\u013E -->", "<!-- ?b? -->"},
    {"declaration", u"<!DOCTYPE \u013C\u00E9>",
     "<!DOCTYPE ?"
     "?>"},
    {"processing instruction", u"<?x \u013E?>",
     "<?x ?"
     "?>"},
};

// A browser that reads the enclosing element as raw text ("title", "textarea", "noscript",
// "iframe") ends it at "</" and a letter, and where it parses "style" as markup (inside
// "svg") any "<" may open a tag: what is written verbatim holds neither.
const Case breakoutCases[] = {
    {"style inside title", u"<title><style></title><img src=x onerror=alert(1)></style>",
     "<title><style>\\3C /title>\\3C img src=x onerror=alert(1)></style>"},
    {"style inside svg", u"<svg><style>--!><img src=x onerror=alert(1)></style>",
     "<svg><style>--!>\\3C img src=x onerror=alert(1)></style>"},
    {"style loses <!-- and -->", u"<style><!--a{}--></style>", "<style> a{} </style>"},
    {"comment opened in an svg style",
     u"<svg><style><!--</style></svg><script>--><img src=x onerror=alert(1)></script>",
     "<svg><style> </style></svg><script>--><img src=x onerror=alert(1)></script>"},
    {"CDATA opened in svg", u"<svg><![CDATA[x></svg><script>]]><img src=x onerror=alert(1)></script>",
     "<svg><!?CDATA[x></svg><script>]]><img src=x onerror=alert(1)></script>"},
    {"style escaped <", u"<style>a\\<b</style>", "<style>a\\3C b</style>"},
    {"script end tag in a string", u"<script>s='</b>'</script>", "<script>s='<\\/b>'</script>"},
    {"script escaped <", u"<script>s='\\</b'</script>", "<script>s='\\<\\/b'</script>"},
    {"script comparison stays", u"<script>if(a</2)b<c</script>", "<script>if(a</2)b<c</script>"},
    {"comment inside title", u"<title><!--</title><img src=x>-->", "<title><!--<\\/title><img src=x>-->"},
    {"declaration", u"<!x</title>", "<!x<\\/title>"},
    {"comment element holds no tags", u"<comment><img src=x onerror=alert(1)></comment>",
     "<comment>?img src=x onerror=alert(1)></comment>"},
};

void expectAll(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) EXPECT_EQ(rewrite(c->html), c->written) << c->name;
}
#define EXPECT_CASES(table) expectAll(std::begin(table), std::end(table))

TEST(HTMLRewriterTest, Markup) {
  EXPECT_CASES(markupCases);
}
TEST(HTMLRewriterTest, Text) {
  EXPECT_CASES(textCases);
}
TEST(HTMLRewriterTest, RawContentStaysASCII) {
  EXPECT_CASES(rawCases);
}
TEST(HTMLRewriterTest, VerbatimTextEndsNoElement) {
  EXPECT_CASES(breakoutCases);
}

TEST(HTMLRewriterTest, EndDocumentClosesAnOpenStartTag) {
  HTMLFilter::HTMLRewriter rewriter;
  rewriter.startTag(u"P", "p");
  rewriter.attributeWithoutValue(u"x", "x");
  rewriter.endDocument();
  EXPECT_EQ(rewriter.output(), "<p x>\r\n\r\n");
}

TEST(HTMLRewriterTest, OutputIsSevenBit) {
  std::u16string all;
  for (char32_t c = 1; c < 0x10000; c += 7) all.push_back(static_cast<char16_t>(c));
  const std::u16string html = all + u"<a t='" + all + u"'><style>" + all + u"</style><script>" + all +
                              u"</script><!--" + all + u"--><!" + all + u"><?" + all + u">";
  for (const char byte : rewrite(html)) ASSERT_LT(static_cast<unsigned char>(byte), 0x80u);
}

}  // namespace
