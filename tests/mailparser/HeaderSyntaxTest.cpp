#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailparser/Header.h"
#include "mailparser/HeaderField.h"
#include "mailparser/HeaderSyntax.h"

namespace {

using namespace MailParser;

TEST(StripComments, DropsCommentsAndKeepsQuotedStrings) {
  struct Case {
    std::string input, expected;
    bool changed;
  };
  const Case cases[] = {
      // plain comments
      {"text/plain (comment)", "text/plain ", true},
      {"(lead)text/plain", "text/plain", true},
      {"a(b(c)d)e", "ae", true},
      {"a (never closed", "a ", true},
      {"a)b", "ab", true},  // a stray ")" goes as well
      {"no comments here", "no comments here", false},
      {"", "", false},
      // quoted strings are copied unchanged, parentheses and all
      {"attachment (see below); filename=\"report (final).pdf\"",
       "attachment ; filename=\"report (final).pdf\"", true},
      {"\"a\\\"(b)\" (c)", "\"a\\\"(b)\" ", true},  // an escaped quote does not end the string
      {"\"open (not a comment)", "\"open (not a comment)", false},
      {"(\"quoted in a comment\") x", " x", true},
      {"\"a\r\n\t(b)\"", "\"a\r\n\t(b)\"", false},  // a fold inside quotes is still inside
      // 8-bit bytes and controls are part of a quoted string
      {"\"a\xE9(b)\" (c)", "\"a\xE9(b)\" ", true},
      {"\"a\x01(b)", "\"a\x01(b)", false},
      // a line break not followed by a blank ends the quote; the comment after it goes, and
      // the quote that the rest opens is kept whole (found by fuzzing: a second pass over
      // the result pairs the quotes differently, so stripping is done once per field)
      {"\"q\r\n(c) r\" (d)", "\"q\r\n r\" (d)", true},
  };
  for (const auto& c : cases) {
    HeaderField field("X", c.input);
    EXPECT_EQ(stripComments(field), c.changed) << c.input;
    EXPECT_EQ(field.value, c.expected) << c.input;
  }
}

TEST(ScanQuotedString, StopsAtTheQuoteOrAtALineEnd) {
  struct Case {
    std::string text;  // what follows the opening quote
    std::string expected;
    std::size_t stop;
  };
  const Case cases[] = {
      {"abc\"rest", "abc", 3},
      {"", "", 0},
      {"a\\\"b\"", "a\"b", 4},
      {"a\\", "a", 2},  // a backslash at the very end escapes nothing
      {"a\\\xE9"
       "b\"",
       "a\xE9"
       "b",
       4},  // an escaped byte is taken whatever it is
      {"ab\xE9"
       "cd\"",
       "ab\xE9"
       "cd",
       5},  // 8-bit bytes are text: a raw UTF-8 name is still a name
      {"ab\x1F", "ab\x1F", 3},
      {"a\rb\"", "a", 1},  // a lone CR ends the line
      {"a\nb\"", "a", 1},
      {"a\x7F"
       "b\"",
       "a\x7F"
       "b",
       3},
      {"ab\r\n\tcd\"", "ab\tcd", 7},  // unfolded
      {"ab\r\ncd\"", "ab", 2},        // a line break that is not a fold ends it
      {"ab\r\n", "ab", 2},
  };
  for (const auto& c : cases) {
    std::size_t position = 0;
    EXPECT_EQ(scanQuotedString(c.text, position), c.expected) << c.text;
    EXPECT_EQ(position, c.stop) << c.text;
  }
}

TEST(ScanToken, CollectsTokenCharacters) {
  struct Case {
    std::string text;
    std::size_t start;
    std::string expected;
  };
  const Case cases[] = {
      {"charset=utf-8", 0, "charset"},
      {"charset=utf-8", 8, "utf-8"},
      {"a\\b.exe;x", 0, "a\\b.exe"},
      {" x", 0, ""},
      {"x", 1, ""},
  };
  for (const auto& c : cases) {
    std::size_t position = c.start;
    EXPECT_EQ(scanToken(c.text, position), c.expected) << c.text;
    EXPECT_EQ(position, c.start + c.expected.size()) << c.text;
  }

  for (const char c : std::string("()<>@,;:\"/[]?= \t\r\n\x80\xFF\x1F")) {
    EXPECT_FALSE(isTokenChar(c)) << static_cast<int>(static_cast<unsigned char>(c));
  }
  EXPECT_FALSE(isTokenChar('\0'));
  for (const char c : std::string("!#$%&'*+-.^_`{|}~\\\x7F"
                                  "09azAZ")) {
    EXPECT_TRUE(isTokenChar(c)) << c;
  }
}

TEST(QuoteParameterValue, EscapesAndKeepsTheValueOnOneLine) {
  struct Case {
    std::string value;
    char quote;
    std::string expected;
  };
  const Case cases[] = {
      {"iso-8859-1", '"', "\"iso-8859-1\""},
      {"", '"', "\"\""},
      {"a\"b\\c", '"', "\"a\\\"b\\\\c\""},
      {"a\tb\r\nc\xE9"
       "d\x7F",
       '"', "\"abc\xE9"
       "d\x7F\""},  // controls are left out, 8-bit bytes kept
      {"it's \"x\"", '\'', "'it\\'s \"x\"'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(quoteParameterValue(c.value, c.quote), c.expected) << c.value;
  }
}

TEST(IsMIME, LooksForMimeVersionOrAContentField) {
  struct Case {
    std::vector<std::string> names;
    bool expected;
  };
  const Case cases[] = {
      {{"Subject", "MIME-Version"}, true},
      {{"content-transfer-encoding"}, true},
      {{"CONTENT-X"}, true},
      {{"Subject", "Contents", "X-Content-Type"}, false},
      {{"MIME-Version-X"}, false},
      {{}, false},
  };
  for (const auto& c : cases) {
    Header header;
    for (const auto& name : c.names) {
      header.addField(name, "v");
    }
    EXPECT_EQ(isMIME(header), c.expected) << testing::PrintToString(c.names);
  }
}

}  // namespace
