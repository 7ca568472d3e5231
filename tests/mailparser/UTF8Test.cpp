#include "mailparser/UTF8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  const char* name;
  std::u16string text;
  std::string expected;
};

const Case cases[] = {
    {"ascii", u"abc", "abc"},
    {"two bytes", u"\u00E9", "\xC3\xA9"},
    {"three bytes", u"\u20AC", "\xE2\x82\xAC"},
    {"pair becomes one four-byte sequence", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
    {"highest pair", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
    {"lone high surrogate", u"a\xD83D" u"b", "a\xEF\xBF\xBD" "b"},
    {"lone low surrogate", u"\xDE00", "\xEF\xBF\xBD"},
    {"high surrogate at the end", u"\xD83D", "\xEF\xBF\xBD"},
    {"reversed pair is two replacements", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"non-characters", u"\uFFFE\uFFFF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"NUL is kept", std::u16string(1, u'\0'), std::string(1, '\0')},
};

TEST(UTF8Test, EncodesTextJoiningSurrogatePairs) {
  for (const Case& c : cases) {
    std::string out = "x";
    MailParser::encodeUTF8(out, c.text);
    EXPECT_EQ(out, "x" + c.expected) << c.name;
  }
}

TEST(UTF8Test, SingleUnitNeverWritesHalfAPair) {
  std::string out;
  MailParser::encodeUTF8(out, char16_t{0xD83D});
  MailParser::encodeUTF8(out, char16_t{0xDE00});
  EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
