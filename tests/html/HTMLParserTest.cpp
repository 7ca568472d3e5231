#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "RecordingHandler.h"
#include "html/HTMLParser.h"

namespace {

using namespace std::literals;

struct Case {
  const char* name;
  std::u16string_view html;
  const char* events;
};

std::string events(std::u16string_view html, bool fragment = false) {
  RecordingHandler handler;
  HTMLFilter::parseHTML(handler, html, fragment);
  return handler.events();
}

void expectAll(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) EXPECT_EQ(events(c->html), c->events) << c->name;
}
#define EXPECT_CASES(table) expectAll(std::begin(table), std::end(table))

const Case textCases[] = {
    {"plain text", u"hello", R"("hello" $)"},
    {"a lone < is text", u"a < b", R"("a " "< b" $)"},
    {"< before a digit", u"<3 you", R"("<3 you" $)"},
    {"< last in the input", u"a<", R"("a" "<" $)"},
    {"<< opens only the second", u"<<b>", R"("<" <b > $)"},
    {"</ at the end is text", u"x</", R"("x" "</" $)"},
    {"references are decoded", u"&amp;lt; &eacute", R"("&amp;lt; &eacute"=>"&lt; \u00E9" $)"},
    {"an unknown reference stays", u"a &bogus; b", R"("a &bogus; b" $)"},
    {"the empty document", u"", R"($)"},
};

const Case whitespaceCases[] = {
    {"runs become one space", u"x  \r\n  y", R"("x y" $)"},
    {"tab and form feed", u"a\t\fb", R"("a b" $)"},
    {"a lone space stays", u"<b> </b>", R"(<b > " " </b $)"},
    {"pre keeps whitespace", u"<pre>x  \r\n  y</pre>z  w", R"(<pre > "x  \u000D\u000A  y" </pre "z w" $)"},
    {"nested pre", u"<pre><pre>a</pre> \n </pre> \n ", R"(<pre > <pre > "a" </pre " \u000A " </pre " " $)"},
    {"</pre> without an open pre", u"</pre>a  b", R"(</pre "a b" $)"},
    {"characters above 255 are never whitespace", u"a\u3000\u3000b", R"("a\u3000\u3000b" $)"},
    // Long runs are scanned eight characters at a time: the same rules at every offset.
    {"double space deep in a run", u"abcdefghijklmnopq  rstuvwxyz", R"("abcdefghijklmnopq rstuvwxyz" $)"},
    {"tab deep in a run", u"abcdefghijklmnopqrstu\tvwxyz<b>", R"("abcdefghijklmnopqrstu vwxyz" <b > $)"},
    {"single spaces only", u"abcdefgh ijklmnop qrstuvwx yz", R"("abcdefgh ijklmnop qrstuvwx yz" $)"},
    {"reference deep in a run", u"abcdefghijklmnopqrstuvw&amp;xyz",
     R"("abcdefghijklmnopqrstuvw&amp;xyz"=>"abcdefghijklmnopqrstuvw&xyz" $)"},
    {"NUL deep in pre", u"<pre>abcdefghijklmnopq\0rs  t</pre>"sv,
     R"(<pre > "abcdefghijklmnopq\u0000rs  t"=>"abcdefghijklmnopqrs  t" </pre $)"},
    {"space before a long run", u"<b> \u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9 x",
     R"(<b > " \u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9 x" $)"},
};

const Case startTagCases[] = {
    {"raw name keeps its case", u"<IMG SRC=a.gif>", R"(<img(IMG) @src(SRC)="a.gif" > $)"},
    {"name key drops other characters", u"<o:P Data_Src=x>", R"(<o:p(o:P) @datasrc(Data_Src)="x" > $)"},
    {"self-closing slash", u"<br/><img src=a />", R"(<br > <img @src="a" > $)"},
    {"slash then space", u"<br / >", R"(<br > $)"},
    // a browser ends the name at "/": hiding onfocus inside "autofocusonfocus" would let the
    // reader's browser see an attribute that the filter never did
    {"slash ends an attribute name", u"<input autofocus/onfocus=x>", R"(<input @autofocus @onfocus="x" > $)"},
    {"double and single quotes", u"<a b=\"x'y\" c='p\"q'>", R"(<a @b="x'y" @c="p"q" > $)"},
    {"whitespace around =", u"<a b \r\n= \t x>", R"(<a @b="x" > $)"},
    {"valueless attributes", u"<input checked disabled>", R"(<input @checked @disabled > $)"},
    {"empty name", u"<a =x>", R"(<a @="x" > $)"},
    {"empty unquoted value", u"<a b=>", R"(<a @b="" > $)"},
    {"duplicates all reported", u"<a b=1 b=2>", R"(<a @b="1" @b="2" > $)"},
    {"value decoded", u"<a href=\"?a=1&amp;b=&#x32;\">", R"(<a @href="?a=1&amp;b=&#x32;"=>"?a=1&b=2" > $)"},
    {"> inside quotes", u"<a title='a>b'>c", R"(<a @title="a>b" > "c" $)"},
    {"name stops at <", u"<a<b>", R"(<a @b(<b) > $)"},
    {"form feed separates", u"<img\fsrc=x>", R"(<img @src="x" > $)"},
    {"unterminated double quote drops the attribute", u"<a href=\"x", R"(<a > $)"},
    {"unterminated single quote", u"<a b=1 c='x>y", R"(<a @b="1" > $)"},
    {"unquoted value to the end", u"<a b=x", R"(<a > $)"},
    {"= at the end", u"<a b= ", R"(<a > $)"},
    {"tag ends with the input", u"<a b", R"(<a @b > $)"},
    {"name only", u"<a", R"(<a > $)"},
};

const Case endTagCases[] = {
    {"plain", u"</P>", R"(</p(P) $)"},
    {"space and attributes", u"</a  x=1>b", R"(</a "b" $)"},
    {"> inside a quoted value", u"</p junk='>' more>x", R"(</p "x" $)"},
    {"</ x> is skipped", u"</ x>y", R"("y" $)"},
    {"</3 is skipped", u"</3>y", R"("y" $)"},
    {"</ x '>' ends at the first >", u"</ x '>' y", R"("' y" $)"},
    {"unterminated", u"</a b=\"c", R"(</a $)"},
    {"</> is nothing", u"</>x", R"("x" $)"},
};

const Case rawContentCases[] = {
    {"script", u"<script>if (a<b) x();</SCRIPT >", R"(<script > raw"if (a<b) x();" </script(SCRIPT) $)"},
    {"references stay", u"<script>a&amp;b</script>", R"(<script > raw"a&amp;b" </script $)"},
    {"tags inside are not parsed", u"<style><b>x</b></style>", R"(<style > raw"<b>x</b>" </style $)"},
    {"comment element", u"<comment><p>x</comment>y", R"(<comment > raw"<p>x" </comment "y" $)"},
    {"unterminated runs to the end", u"<script>a</script", R"(<script > raw"a</script" $)"},
    {"closing sequence needs a name end", u"<script>a</scripts>b</script>",
     R"(<script > raw"a</scripts>b" </script $)"},
    {"closing with slash", u"<style>a</style/>", R"(<style > raw"a" </style $)"},
    {"empty content", u"<script></script>", R"(<script > raw"" </script $)"},
    {"attributes before the content", u"<script src=x>y</script>", R"(<script @src="x" > raw"y" </script $)"},
    {"other tags have no raw content", u"<title>a&amp;</title>", R"(<title > "a&amp;"=>"a&" </title $)"},
};

const Case commentCases[] = {
    {"ends at -->", u"<!-- a > b -->", R"(!--" a > b " $)"},
    {"unterminated ends at >", u"<!-- a > b", R"(!--" a " " b" $)"},
    {"unterminated without >", u"<!-- a", R"(!--" a" $)"},
    {"--!> ends it as in browsers", u"<!-- a --!><b>", R"(!--" a " <b > $)"},
    {"<!--> is empty", u"<!--><b>", R"(!--"" <b > $)"},
    {"<!---> is empty", u"<!---><b>", R"(!--"" <b > $)"},
    {"dashes inside", u"<!-- a -- b --->", R"(!--" a -- b -" $)"},
    {"just <!--", u"<!--", R"(!--"" $)"},
};

const Case declarationCases[] = {
    {"doctype", u"<!DOCTYPE html>x", R"(!"DOCTYPE html" "x" $)"},
    {"<!- is a declaration", u"<!->", R"(!"-" $)"},
    {"unterminated", u"<!DOCTYPE", R"(!"DOCTYPE" $)"},
    {"<! at the end", u"<!", R"(!"" $)"},
    {"processing instruction keeps its ?", u"<?xml version=\"1.0\"?>", R"(?"xml version="1.0"?" $)"},
    {"unterminated processing instruction", u"<?php x", R"(?"php x" $)"},
};

// Outside input that a parser of mail must survive.
const Case robustnessCases[] = {
    {"NUL in text becomes a space", u"a\0\0b"sv, R"("a b" $)"},
    {"NUL in pre is dropped from the decoded text", u"<pre>a\0b"sv, R"(<pre > "a\u0000b"=>"ab" $)"},
    {"NUL ends a tag name", u"<a\0b=1>"sv, R"(<a @b="1" > $)"},
    {"NUL ends an unquoted value", u"<a b=x\0y>"sv, R"(<a @b="x" @y > $)"},
    {"NUL in a quoted value is dropped", u"<a b='x\0y'>"sv, R"(<a @b="x\u0000y"=>"xy" > $)"},
    {"lone CR in text", u"a\rb", R"("a b" $)"},
    {"lone CR separates attributes", u"<a\rb=1\rc>", R"(<a @b="1" @c > $)"},
    {"8-bit characters", u"<a title=\u00E9t\u00E9>caf\u00E9\u00A0",
     R"(<a @title="\u00E9t\u00E9" > "caf\u00E9\u00A0" $)"},
    {"above 255 in names", u"<a\u0130 x\u0131=1>", R"(<a(a\u0130) @x(x\u0131)="1" > $)"},
    {"U+FF1C is not <", u"\uFF1Cscript\uFF1E", R"("\uFF1Cscript\uFF1E" $)"},
    {"unpaired surrogates pass", u"a\xD800<b c=\xDC00>", R"("a\uD800" <b @c="\uDC00" > $)"},
    {"stops inside a tag name", u"x<scr", R"("x" <scr > $)"},
    {"stops after =", u"<a b=", R"(<a > $)"},
    {"stops after <!-", u"<!-", R"(!"-" $)"},
    {"stops inside script", u"<script>alert(", R"(<script > raw"alert(" $)"},
};

TEST(HTMLParserTest, Text) {
  EXPECT_CASES(textCases);
}
TEST(HTMLParserTest, Whitespace) {
  EXPECT_CASES(whitespaceCases);
}
TEST(HTMLParserTest, StartTags) {
  EXPECT_CASES(startTagCases);
}
TEST(HTMLParserTest, EndTags) {
  EXPECT_CASES(endTagCases);
}
TEST(HTMLParserTest, RawContent) {
  EXPECT_CASES(rawContentCases);
}
TEST(HTMLParserTest, Comments) {
  EXPECT_CASES(commentCases);
}
TEST(HTMLParserTest, DeclarationsAndProcessingInstructions) {
  EXPECT_CASES(declarationCases);
}
TEST(HTMLParserTest, SurvivesOutsideInput) {
  EXPECT_CASES(robustnessCases);
}

TEST(HTMLParserTest, FragmentHasNoEndDocument) {
  EXPECT_EQ(events(u"<b>x", true), R"(<b > "x")");
  EXPECT_EQ(events(u"", true), "");
}

TEST(HTMLParserTest, OverlongInputIsOneEventEach) {
  const std::u16string value(1 << 20, u'v');
  const std::u16string html = u"<a title=\"" + value + u"\">" + value + u"<script>" + value;
  RecordingHandler handler;
  HTMLFilter::parseHTML(handler, html, false);
  const std::string v = std::string(1 << 20, 'v');
  EXPECT_EQ(handler.events(), "<a @title=\"" + v + "\" > \"" + v + "\" <script > raw\"" + v + "\" $");
}

// Each unterminated comment ends at its ">"; none may search the rest of the text again.
TEST(HTMLParserTest, ManyUnterminatedComments) {
  std::u16string html;
  for (int i = 0; i < 50000; ++i) html += u"<!--a>";
  html += u"<!--b";
  RecordingHandler handler;
  HTMLFilter::parseHTML(handler, html, false);
  std::string expected;
  for (int i = 0; i < 50000; ++i) expected += "!--\"a\" ";
  EXPECT_EQ(handler.events(), expected + "!--\"b\" $");
}

TEST(HTMLParserTest, DeepNestingNeedsNoStack) {
  std::u16string html;
  for (int i = 0; i < 100000; ++i) html += u"<pre>";
  html += u"a  b";
  RecordingHandler handler;
  HTMLFilter::parseHTML(handler, html, false);
  EXPECT_NE(handler.events().find("\"a  b\""), std::string::npos);
}

struct NameCase {
  std::u16string_view name;
  const char* key;
};

TEST(HTMLParserTest, NormaliseName) {
  const NameCase cases[] = {
      {u"Data_Src", "datasrc"}, {u"O:P", "o:p"}, {u"x-Tag9", "x-tag9"}, {u"!@#$", ""},
      {u"\u00C9T\u0130", "t"},  {u"", ""},
  };
  for (const NameCase& c : cases) EXPECT_EQ(HTMLFilter::normaliseName(c.name), c.key) << c.key;
}

}  // namespace
