#include "app/filter/JsonText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(JsonText, AnyBytesBecomeOneValidJSONString) {
  struct Case {
    std::string name;
    std::string bytes;
    std::string json;
  };
  const std::vector<Case> cases{
      {"empty", "", "\"\""},
      {"plain", "Hello, world", "\"Hello, world\""},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"short escapes", "\n\r\t", "\"\\n\\r\\t\""},
      {"NUL and other controls", std::string("\0\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\\u007f\""},
      {"two, three and four bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
      {"lone continuation byte", "a\x80z", "\"a\\ufffdz\""},
      {"overlong two bytes", "\xc0\xaf", "\"\\ufffd\\ufffd\""},
      {"overlong three bytes", "\xe0\x80\xaf", "\"\\ufffd\\ufffd\\ufffd\""},
      {"surrogate", "\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
      {"above U+10FFFF", "\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
      {"cut short at the end", "ab\xe2\x82", "\"ab\\ufffd\\ufffd\""},
      {"cut short before ASCII", "\xe2\x82x", "\"\\ufffd\\ufffdx\""},
      {"Latin-1 bytes", "caf\xe9", "\"caf\\ufffd\""},
      {"highest code point", "\xf4\x8f\xbf\xbf", "\"\xf4\x8f\xbf\xbf\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JsonString(c.bytes), c.json) << c.name;
  }
}

}  // namespace
