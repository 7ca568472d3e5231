#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "html/FilterDocument.h"
#include "html/HTMLFilter.h"
#include "html/HTMLParser.h"
#include "html/HTMLRewriter.h"
#include "support/FakeMessageProcessorInterface.h"

namespace {

using namespace std::literals;
using Counts = std::map<std::string, int>;

// Profile options, as bits, so that a table row names the ones it sets.
enum : unsigned {
  NS = 1U << 0,     // RemoveNonStandardHTML
  SC = 1U << 1,     // RemoveScripting
  EM = 1U << 2,     // RemoveEmbedding
  FR = 1U << 3,     // RemoveFrames
  XCSS = 1U << 4,   // BlockExternalCSS
  BLINK = 1U << 5,  // RemoveBLINKTags
  BGS = 1U << 6,    // RemoveBGSOUNDTags
  META = 1U << 7,   // RemoveMETATags
  ONE = 1U << 8,    // Block1x1Images
  EXT = 1U << 9,    // BlockExternalImages
  VAR = 1U << 10,   // BlockImagesWithVariables
};

void apply(FakeMessageProcessorInterface::Options& o, unsigned bits) {
  o.RemoveNonStandardHTML = (bits & NS) != 0;
  o.RemoveScripting = (bits & SC) != 0;
  o.RemoveEmbedding = (bits & EM) != 0;
  o.RemoveFrames = (bits & FR) != 0;
  o.BlockExternalCSS = (bits & XCSS) != 0;
  o.RemoveBLINKTags = (bits & BLINK) != 0;
  o.RemoveBGSOUNDTags = (bits & BGS) != 0;
  o.RemoveMETATags = (bits & META) != 0;
  o.Block1x1Images = (bits & ONE) != 0;
  o.BlockExternalImages = (bits & EXT) != 0;
  o.BlockImagesWithVariables = (bits & VAR) != 0;
}

struct Case {
  const char* name;
  unsigned options;
  std::u16string_view html;
  std::string_view written;
  Counts counts;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

std::string filtered(std::u16string_view html, FakeMessageProcessorInterface& fake) {
  return HTMLFilter::filterDocument(html, fake, true);
}

class Filtering : public testing::TestWithParam<Case> {};

TEST_P(Filtering, WritesAndCounts) {
  const Case& c = GetParam();
  FakeMessageProcessorInterface fake;
  apply(fake.options, c.options);
  EXPECT_EQ(filtered(c.html, fake), c.written);
  EXPECT_EQ(fake.counts, c.counts);
}

// The tag gate, the tag library and the tags that are never forwarded.
const Case tagCases[] = {
    {"text passes", 0, u"a &amp; b", "a &amp; b", {}},
    {"non-standard tag and its end tag go, counted once", NS, u"<o:p>x</o:p>", "x", {{"NonStandardHTMLRemoved", 1}}},
    {"non-standard tag stays without the option", 0, u"<o:p>x</o:p>", "<o:p>x</o:p>", {}},
    {"non-standard attribute goes", NS, u"<img dynsrc=x.avi src=cid:a>", "<img src=\"cid:a\">",
     {{"NonStandardHTMLRemoved", 1}}},
    {"non-standard valueless attribute goes", NS, u"<b nosuch>x</b>", "<b>x</b>", {{"NonStandardHTMLRemoved", 1}}},
    {"script and its content go", SC, u"a<script>alert(1)</script>b", "ab", {{"ScriptingRemoved", 1}}},
    {"script stays without the option", 0, u"<script>x()</script>", "<script>x()</script>", {}},
    {"noscript goes, its content stays", SC, u"<noscript><b>x</b></noscript>", "<b>x</b>", {{"ScriptingRemoved", 1}}},
    {"frames", FR, u"<iframe src=cid:a>x</iframe><frameset><frame></frameset>", "x",
     {{"UndesiredTagsRemoved", 3}}},
    {"embedding", EM, u"<object data=cid:a><param name=a value=b><embed src=cid:b></object><noembed>t</noembed>",
     "t", {{"EmbeddingRemoved", 4}}},
    {"blink", BLINK, u"<blink>x</blink>", "x", {{"UndesiredTagsRemoved", 1}}},
    {"bgsound and sound", BGS, u"<bgsound src=cid:a><sound src=cid:b>", "", {{"UndesiredTagsRemoved", 2}}},
    {"meta", META, u"<meta name=a content=b>", "", {{"UndesiredTagsRemoved", 1}}},
    {"meta stays without the option", 0, u"<meta name=a content=b>", "<meta content=\"b\" name=\"a\">", {}},
    {"frames group counts before scripting", FR | SC, u"<iframe></iframe>", "", {{"UndesiredTagsRemoved", 1}}},
    {"comment element and its content go", 0, u"<comment><b>x</b></comment>y", "y", {}},
    {"comments go whatever the profile", 0, u"a<!-- <b>x</b> -->b<!--[if IE]><script>x</script><![endif]-->", "ab",
     {}},
    {"declaration passes", 0, u"<!DOCTYPE html>", "<!DOCTYPE html>", {}},
    {"processing instruction passes", 0, u"<?xml version=1?>", "<?xml version=1?>", {}},
    {"base is never forwarded", 0, u"<base href=http://x.example/>x", "x", {}},
};
INSTANTIATE_TEST_SUITE_P(Tags, Filtering, testing::ValuesIn(tagCases));

// Attribute classes and the URL check.
const Case urlCases[] = {
    {"relative image without a base", 0, u"<img src=a.gif>", "<img src=\"about:blank\">", {}},
    {"relative image after a base", 0, u"<base href=http://x.example/d/><img src=a.gif>",
     "<img src=\"http://x.example/d/a.gif\">", {}},
    {"fragment link passes as written", 0, u"<a href=#top>", "<a href=\"#top\">", {}},
    {"mailto link passes", 0, u"<a href=mailto:x>", "<a href=\"mailto:x\">", {}},
    {"mailto image goes", 0, u"<img src=mailto:x>", "<img src=\"about:blank\">", {}},
    {"javascript link with scripting removed", SC, u"<a href=javascript:f()>", "<a href=\"about:blank\">",
     {{"ScriptingRemoved", 1}}},
    {"javascript link kept as the URI text otherwise", 0, u"<a href=\"JavaScript:f(\r\n)\">",
     "<a href=\"javascript:f()\">", {}},
    {"entity-hidden javascript", SC, u"<a href=\"jav&#x09;ascript&colon;f()\">", "<a href=\"about:blank\">",
     {{"ScriptingRemoved", 1}}},
    {"unknown scheme", 0, u"<a href=data:text/html,x>", "<a href=\"about:blank\">", {}},
    {"embedded part", 0, u"<img src=CID:Part1>", "<img src=\"cid:Part1\">", {}},
    {"network share path", 0, u"<base href=http://x.example/><a href=\"\\\\host\\share\">",
     "<a href=\"about:blank\">", {}},
    {"network share base is refused", 0, u"<base href=\"\\\\host\\share\"><img src=a.gif>",
     "<img src=\"about:blank\">", {}},
    {"script entity in a URL", SC, u"<a href=\"&{f()};\">", "<a href=\"about:blank\">", {}},
    {"script entity in a plain value", SC, u"<b title=\" &{f()}; \">", "<b>", {{"ScriptingRemoved", 1}}},
    {"event handler goes", SC, u"<b onclick=f() OnMouseOver=g() class=c>", "<b class=\"c\">",
     {{"ScriptingRemoved", 2}}},
    {"event handler stays without the option", 0, u"<b onclick=f()>", "<b onclick=\"f()\">", {}},
    {"valueless event handler goes", SC, u"<b onclick>", "<b>", {{"ScriptingRemoved", 1}}},
    {"attributes sorted, last duplicate wins, valueless after", 0, u"<td nowrap b=1 a=2 b=3 nowrap>",
     "<td a=\"2\" b=\"3\" nowrap>", {}},
    {"a later valueless attribute replaces a valued one", 0, u"<td a=1 a>", "<td a>", {}},
    {"1x1 image", ONE, u"<img width=' 1 ' height=1 src=http://x.example/a.gif>",
     "<img height=\"1\" src=\"about:blank\" width=\" 1 \">", {{"Images1x1Blocked", 1}}},
    {"1px is not 1", ONE, u"<img width=1px height=1 src=http://x.example/a.gif>",
     "<img height=\"1\" src=\"http://x.example/a.gif\" width=\"1px\">", {}},
    {"base target on a link without one", 0, u"<base target=_blank><a href=#x>a</a><a href=#y target=t>b</a>",
     "<a href=\"#x\" target=\"_blank\">a</a><a href=\"#y\" target=\"t\">b</a>", {}},
    {"later base without href keeps the target", 0,
     u"<base href=http://x.example/ target=w><base href=mailto:x><img src=a.gif><a href=#x>",
     "<img src=\"about:blank\"><a href=\"#x\" target=\"w\">", {}},
};
INSTANTIATE_TEST_SUITE_P(URLs, Filtering, testing::ValuesIn(urlCases));

// Every attribute that loads something meets the web-bug check; every URL-bearing attribute
// meets the scheme policy, whatever the non-standard option says.
const Case resourceCases[] = {
    {"external image blocked", EXT, u"<img src=http://t.example/x.gif>", "<img src=\"about:blank\">",
     {{"ExternalImagesBlocked", 1}}},
    {"image with variables blocked", VAR, u"<img src=\"http://t.example/x.gif?u=1\">", "<img src=\"about:blank\">",
     {{"ImagesWithVariablesBlocked", 1}}},
    {"lowsrc and dynsrc", EXT, u"<img lowsrc=http://t.example/a dynsrc=http://t.example/b>",
     "<img dynsrc=\"about:blank\" lowsrc=\"about:blank\">", {{"ExternalImagesBlocked", 2}}},
    {"input image", EXT, u"<input type=image src=http://t.example/a>", "<input src=\"about:blank\" type=\"image\">",
     {{"ExternalImagesBlocked", 1}}},
    {"backgrounds", EXT, u"<body background=http://t.example/a><table background=http://t.example/b>",
     "<body background=\"about:blank\"><table background=\"about:blank\">", {{"ExternalImagesBlocked", 2}}},
    {"video poster and media sources", EXT,
     u"<video poster=http://t.example/p src=http://t.example/v><source src=http://t.example/s>"
     u"<track src=http://t.example/t></video><audio src=http://t.example/a>",
     "<video poster=\"about:blank\" src=\"about:blank\"><source src=\"about:blank\"><track src=\"about:blank\">"
     "</video><audio src=\"about:blank\">",
     {{"ExternalImagesBlocked", 5}}},
    {"object data", EXT, u"<object data=http://t.example/o>", "<object data=\"about:blank\">",
     {{"ExternalImagesBlocked", 1}}},
    {"srcset candidate by candidate", VAR,
     u"<img srcset=\"http://t.example/a.png 1x, http://t.example/b.png?id=7 2x,cid:c 3x\">",
     "<img srcset=\"http://t.example/a.png 1x, about:blank 2x, cid:c 3x\">", {{"ImagesWithVariablesBlocked", 1}}},
    {"srcset with scripting", SC, u"<img srcset=\"javascript:f() 1x\">", "<img srcset=\"about:blank 1x\">",
     {{"ScriptingRemoved", 1}}},
    {"icon link", EXT, u"<link rel=icon href=http://t.example/favicon.ico>", "", {{"ExternalImagesBlocked", 1}}},
    {"fragment reference loads nothing", EXT, u"<svg><use href=#i></use></svg>",
     "<svg><use href=\"#i\"></use></svg>", {}},
    {"SVG image href", EXT, u"<svg><image href=http://t.example/a xlink:href=http://t.example/b>",
     "<svg><image href=\"about:blank\" xlink:href=\"about:blank\">", {{"ExternalImagesBlocked", 2}}},
    {"allowed image stays", EXT & 0, u"<img src=http://t.example/a.gif>", "<img src=\"http://t.example/a.gif\">", {}},
    {"ping beacons", EXT, u"<a href=http://x.example/ ping=\"http://t.example/a http://t.example/b\">",
     "<a href=\"http://x.example/\" ping=\"about:blank about:blank\">", {{"ExternalImagesBlocked", 2}}},
    {"URL attributes of current HTML", SC,
     u"<button formaction=javascript:a()><blockquote cite=javascript:b()><img longdesc=javascript:c() "
     u"usemap=javascript:d()><svg><a xlink:href=javascript:e()><math href=javascript:f()>",
     "<button formaction=\"about:blank\"><blockquote cite=\"about:blank\"><img longdesc=\"about:blank\" "
     "usemap=\"about:blank\"><svg><a xlink:href=\"about:blank\"><math href=\"about:blank\">",
     {{"ScriptingRemoved", 6}}},
    {"image map fragment passes", 0, u"<img usemap=#m>", "<img usemap=\"#m\">", {}},
    {"manifest, icon, codebase, archive", 0,
     u"<html manifest=data:x><menuitem icon=data:y><applet codebase=data:z archive=data:w>",
     "<html manifest=\"about:blank\"><menuitem icon=\"about:blank\"><applet archive=\"about:blank\" "
     "codebase=\"about:blank\">",
     {}},
};
INSTANTIATE_TEST_SUITE_P(Resources, Filtering, testing::ValuesIn(resourceCases));

// What a browser would run: with scripting removed none of it stays, whatever else is set.
const Case scriptingCases[] = {
    {"active elements go, their content stays", SC,
     u"<iframe src=cid:a>i</iframe><frameset><frame src=cid:b></frameset><object>o</object><embed src=cid:c>"
     u"<applet>a</applet><portal src=cid:d></portal><isindex>",
     "ioa", {{"ScriptingRemoved", 8}}},
    {"form goes, its fields stay", SC, u"<form action=http://x.example/><input name=q></form>", "<input name=\"q\">",
     {{"ScriptingRemoved", 1}}},
    {"srcdoc goes", SC, u"<div srcdoc=\"&lt;script&gt;x&lt;/script&gt;\">", "<div>", {{"ScriptingRemoved", 1}}},
    {"srcdoc stays without the option", 0, u"<div srcdoc=x>", "<div srcdoc=\"x\">", {}},
    {"SVG set aimed at href", SC, u"<svg><a><set attributeName=xlink:href to=javascript:f()></set></a></svg>",
     "<svg><a></set></a></svg>", {{"ScriptingRemoved", 1}}},
    {"SVG animate aimed at an event attribute", SC, u"<svg><animate attributeName=' onclick ' values=f()>",
     "<svg>", {{"ScriptingRemoved", 1}}},
    {"SVG animation of other attributes stays", SC, u"<svg><animate attributeName=x values=1;2>",
     "<svg><animate attributename=\"x\" values=\"1;2\">", {}},
    {"active prefixes in plain values go", SC,
     u"<b title=\" java\tscript:x\" alt=DATA:x lang=en dir=\"\x01vbscript:y\" class=mocha:z id=LiveScript:w>",
     "<b lang=\"en\">", {{"ScriptingRemoved", 5}}},
    {"meta refresh goes even without the meta option", SC,
     u"<meta http-equiv=Refresh content=\"0;url=javascript:f()\"><meta http-equiv=set-cookie content=a=b>"
     u"<meta charset=utf-8>",
     "<meta charset=\"utf-8\">", {{"ScriptingRemoved", 2}}},
    {"link that is no style sheet", SC, u"<link rel=import href=cid:a><link rel=prefetch href=cid:b>", "",
     {{"ScriptingRemoved", 2}}},
    {"external style sheet with scripting removed", SC, u"<LINK REL=\"stylesheet\" HREF=\"http://x.example/x.css\">",
     "", {{"ExternalCSSBlocked", 1}}},
    {"embedded style sheet stays", SC | XCSS, u"<link rel=\"alternate StyleSheet\" href=cid:css type=\" Text/CSS \">",
     "<link href=\"cid:css\" rel=\"alternate StyleSheet\" type=\" Text/CSS \">", {}},
    {"style sheet of another type", SC, u"<link rel=stylesheet href=cid:a type=text/javascript>", "",
     {{"ScriptingRemoved", 1}}},
    {"link whose href is blocked goes whole", 0, u"<link rel=stylesheet href=data:,x>", "", {}},
    {"link without scripting option keeps a fetchable href", 0, u"<link rel=stylesheet href=http://x.example/a.css>",
     "<link href=\"http://x.example/a.css\" rel=\"stylesheet\">", {}},
};
INSTANTIATE_TEST_SUITE_P(Scripting, Filtering, testing::ValuesIn(scriptingCases));

// Style sheets of links, style elements and style attributes.
const Case styleCases[] = {
    {"external style sheet blocked, relative counts as external", XCSS, u"<link rel=stylesheet href=style.css>", "",
     {{"ExternalCSSBlocked", 1}}},
    {"style sheet recognised in any case", XCSS, u"<link rel=StyleSheet href=http://x.example/a.css>", "",
     {{"ExternalCSSBlocked", 1}}},
    {"style of another type goes with its content", SC, u"<style type=text/javascript>x</style>y", "y",
     {{"ScriptingRemoved", 1}}},
    {"style of type text/css stays", SC, u"<style type=' Text/CSS '>b{color:red}</style>",
     "<style type=\" Text/CSS \"> b{color:red} </style>", {}},
    {"expression in a style attribute", SC, u"<b style=\"width:expression(alert(1));color:red\">",
     "<b style=\"color:red\">", {{"ScriptingRemoved", 1}}},
    {"expression in any case", SC, u"<b style=\"width:EXPRESSION(alert(1))\">", "<b style=\"\">",
     {{"ScriptingRemoved", 1}}},
    {"javascript url in CSS", SC, u"<b style=\"background:url('javascript:f()')\">", "<b style=\"\">",
     {{"ScriptingRemoved", 1}}},
    // A "(" ends an unquoted url() as a bad URL, which browsers drop with its declaration.
    {"unquoted url with a parenthesis", SC, u"<b style=\"background:url(javascript:f());color:red\">",
     "<b style=\"color:red\">", {}},
    {"embedded url in CSS stays", SC, u"<b style=\"background:url(cid:a)\">",
     "<b style=\"background:url(&quot;cid:a&quot;)\">", {}},
    {"fragment url in CSS loads nothing and stays", SC | EXT, u"<b style=\"mask:url(#m);fill:URL('#g')\">",
     "<b style=\"mask:url(&quot;#m&quot;);fill:url(&quot;#g&quot;)\">", {}},
    {"style value that begins with a script scheme once filtered", SC,
     u"<b style=\"x:expression(1);vbscript:a\">", "<b>", {{"ScriptingRemoved", 2}}},
    {"remote url in CSS goes when scripting is removed", SC, u"<b style=\"background:url(http://x.example/a)\">",
     "<b style=\"\">", {}},
    {"remote url in CSS meets the web-bug check", EXT, u"<b style=\"background:url(http://x.example/a)\">",
     "<b style=\"\">", {{"ExternalImagesBlocked", 1}}},
    {"remote url in CSS allowed by a lenient profile", 0, u"<b style=\"background:url(http://x.example/a)\">",
     "<b style=\"background:url(&quot;http://x.example/a&quot;)\">", {}},
    {"relative url in CSS", 0, u"<b style=\"background:url(a.gif)\">", "<b style=\"\">", {}},
    {"import blocked as external CSS", XCSS, u"<style>@import 'http://x.example/a.css';b{color:red}</style>",
     "<style> b{color:red} </style>", {{"ExternalCSSBlocked", 1}}},
    {"import meets the web-bug check", EXT, u"<style>@import url(http://x.example/a.css);</style>",
     "<style>  </style>", {{"ExternalImagesBlocked", 1}}},
    // "url (" with a space is no URL to a browser, but text that spells one with an unchecked
    // script URL in it is not written back either (found by the browser check).
    {"url with a space before its parenthesis", SC, u"<div style=\"background:\n url (javascript:ooxx);color:red\">",
     "<div style=\"color:red\">", {{"ScriptingRemoved", 1}}},
    {"url in a style element", SC, u"<style>b{background:URL(http://x.example/a);color:red}</style>",
     "<style> b{color:red} </style>", {}},
};
INSTANTIATE_TEST_SUITE_P(Styles, Filtering, testing::ValuesIn(styleCases));

// Input a parser of mail meets: NUL, lone CR, 8-bit characters, too much, too little.
const Case hostileCases[] = {
    // NUL ends a name as a space does; in a value it is dropped.
    {"NUL in names and values", SC, u"<a o\0nclick=f() href=\"java\0script:f()\">"sv,
     "<a href=\"about:blank\" nclick=\"f()\" o>", {{"ScriptingRemoved", 1}}},
    {"lone CR", SC, u"<a\rhref=\"java\rscript:f()\"\ronclick=f()>", "<a href=\"about:blank\">",
     {{"ScriptingRemoved", 2}}},
    {"8-bit characters", SC, u"<b title=\"\u00E9\u00FF\">\u00E9</b>", "<b title=\"&eacute;&yuml;\">&eacute;</b>", {}},
    {"input that stops early in a tag", SC, u"<img src=http://x.example/a onerror=f()",
     "<img src=\"http://x.example/a\">", {}},
    {"input that stops early in a script", SC, u"<script>f(", "", {{"ScriptingRemoved", 1}}},
    // Without its end tag the style element runs to the end of the document, in a browser too.
    {"input that stops early in a style", SC, u"<style>b{background:url(\"javascript:f()", "<style> b{} ",
     {{"ScriptingRemoved", 1}}},
};
INSTANTIATE_TEST_SUITE_P(Hostile, Filtering, testing::ValuesIn(hostileCases));

TEST(HTMLFilter, FooterBeforeTheFirstClosingBodyOrHTML) {
  FakeMessageProcessorInterface fake;
  fake.options.RemoveScripting = true;
  // The footer is ours and not filtered: its onclick stays.
  fake.options.HTMLFooter = u"<p onclick=x>F</p>";
  EXPECT_EQ(HTMLFilter::filterDocument(u"<body>a</body></html>", fake),
            "<body>a<p onclick=\"x\">\r\n\r\nF</p></body></html>");
}

TEST(HTMLFilter, FooterAtTheEndWithoutClosingTags) {
  FakeMessageProcessorInterface fake;
  fake.options.HTMLFooter = u"<i>F</i>";
  EXPECT_EQ(HTMLFilter::filterDocument(u"a", fake), "a<i>F</i>");
  EXPECT_EQ(HTMLFilter::filterDocument(u"<body>a</body>", fake, false, /*addFooter*/ false), "<body>a</body>");
  fake.options.HTMLFooter.clear();
  EXPECT_EQ(HTMLFilter::filterDocument(u"<html>a</html>", fake), "<html>a</html>");
}

// The tokenizer ends raw content only at its own end tag, so the error is met only when the
// events come from elsewhere; the filter still refuses them rather than guess.
TEST(HTMLFilter, ContentNotClosedByItsOwnEndTagIsAnError) {
  FakeMessageProcessorInterface fake;
  fake.options.RemoveScripting = true;
  HTMLFilter::HTMLRewriter rewriter;
  HTMLFilter::HTMLFilter filter(rewriter, fake);
  filter.text(u"a", u"a");
  filter.startTag(u"script", "script");
  filter.startTagEnd();
  filter.rawContent(u"alert(1)");
  try {
    filter.endTag(u"b", "b");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(), HTMLFilter::HTMLFilter::kTagMismatchError);
  }
  EXPECT_EQ(rewriter.output(), "a");
}

TEST(HTMLFilter, ContentEndsOnlyAtItsOwnEndTag) {
  FakeMessageProcessorInterface fake;
  fake.options.RemoveScripting = true;
  EXPECT_EQ(filtered(u"<script>alert(1)</scriptx><b>hidden in the script</b></script>after", fake), "after");
  EXPECT_EQ(filtered(u"<style type=a>y</stylez>z</style>w", fake), "w");
}

TEST(HTMLFilter, URLCutToTheMaximumLength) {
  FakeMessageProcessorInterface fake;
  fake.options.MaxURLLength = 20;
  EXPECT_EQ(filtered(u"<a href=http://x.example/0123456789>", fake), "<a href=\"http://x.example/012\">");
}

TEST(HTMLFilter, OneFilterServesOneDocumentOnly) {
  // A base seen in the document applies to what follows it, not to what came before.
  FakeMessageProcessorInterface fake;
  EXPECT_EQ(filtered(u"<img src=a><base href=http://x.example/><img src=b>", fake),
            "<img src=\"about:blank\"><img src=\"http://x.example/b\">");
  EXPECT_EQ(filtered(u"<img src=b>", fake), "<img src=\"about:blank\">");
}

}  // namespace
