#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "html/HTMLParser.h"
#include "html/HTMLPlaintextRewriter.h"

namespace {

struct Case {
  const char* name;
  std::u16string_view html;
  std::string_view ascii;  // utf8 off
  std::string_view utf8;   // utf8 on
};

const Case cases[] = {
    {"paragraphs", u"<p>Hello</p><p>World</p>", "Hello\r\n\r\nWorld\r\n\r\n", "Hello\r\n\r\nWorld\r\n\r\n"},
    {"two breaks", u"a<br><br>b", "a\r\n\r\nb", "a\r\n\r\nb"},
    {"list items", u"<li>x<li>y", "x\r\ny", "x\r\ny"},
    {"after a div one space goes", u"<div>a</div> b", "a\r\nb", "a\r\nb"},
    {"table rows", u"<tr><td>a</td></tr><tr><td>b", "a\r\nb", "a\r\nb"},
    {"leading space at the start", u" lead", "lead", "lead"},
    {"no-break space", u"a&nbsp;b\u00A0c", "a b c", "a b c"},
    {"invisible parts", u"<script>x</script><style>y</style><!--c--><!DOCTYPE d><?e?><a href=f>z", "z", "z"},
    {"pre keeps line breaks", u"<pre>a\n  b</pre>", "a\n  b", "a\n  b"},
    {"non-ASCII", u"caf\u00E9 \u013C", "caf? ?", "caf\xC3\xA9 \xC4\xBC"},
    {"pair", u"\xD83D\xDE00!", "?!", "\xF0\x9F\x98\x80!"},
    {"lone surrogate", u"\xDC00", "?", "\xEF\xBF\xBD"},
    {"references", u"&lt;b&gt; &#128512;", "<b> ?", "<b> \xF0\x9F\x98\x80"},
};

TEST(HTMLPlaintextRewriterTest, VisibleTextAndLineBreaks) {
  for (const Case& c : cases) {
    for (const bool utf8 : {false, true}) {
      HTMLFilter::HTMLPlaintextRewriter rewriter(utf8);
      HTMLFilter::parseHTML(rewriter, c.html, false);
      EXPECT_EQ(rewriter.output(), utf8 ? c.utf8 : c.ascii) << c.name << (utf8 ? " (utf8)" : "");
    }
  }
}

}  // namespace
