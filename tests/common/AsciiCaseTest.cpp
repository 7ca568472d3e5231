#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/AsciiCase.h"
#include "common/CaseInsensitiveLess.h"

namespace {

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
  struct Case {
    std::string input, lower, upper;
  };
  const Case cases[] = {
      {"", "", ""},
      {"Content-Type", "content-type", "CONTENT-TYPE"},
      {"@[]`{}", "@[]`{}", "@[]`{}"},  // the neighbours of A-Z and a-z stay
      {"\xC9t\xE9", "\xC9t\xE9", "\xC9T\xE9"},  // 8-bit bytes are not letters here
  };
  for (const auto& c : cases) {
    EXPECT_EQ(asciiLowerCase(c.input), c.lower) << c.input;
    EXPECT_EQ(asciiUpperCase(c.input), c.upper) << c.input;
  }
}

TEST(AsciiCase, CompareIgnoresCaseAndOrdersBytesUnsigned) {
  struct Case {
    std::string a, b;
    int expected;
  };
  const Case cases[] = {
      {"charset", "CHARSET", 0},
      {"a", "B", -1},  // plain byte order would put 'B' first
      {"abc", "ab", 1},
      {"", "", 0},
      {"z", "\x80", -1},  // 0x80 sorts after ASCII
      {"_", "A", -1},     // folding is to lower case: '_' (0x5F) sorts before 'a' (0x61)
  };
  for (const auto& c : cases) {
    const int got = caseInsensitiveCompare(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(caseInsensitiveEquals(c.a, c.b), c.expected == 0);
  }
  EXPECT_TRUE(caseInsensitiveStartsWith("Content-Type", "CONTENT-"));
  EXPECT_FALSE(caseInsensitiveStartsWith("Cont", "content-"));
}

TEST(CaseInsensitiveLess, MapFindsKeysWrittenInAnyCase) {
  std::map<std::string, std::string, caseinsensitive_string_less> parameters;
  parameters["Charset"] = "iso-8859-1";
  parameters["CHARSET"] = "utf-8";  // the same key
  ASSERT_EQ(parameters.size(), 1U);
  EXPECT_EQ(parameters.find(std::string_view("charset"))->second, "utf-8");
  EXPECT_EQ(parameters.begin()->first, "Charset");  // the first spelling is kept
}

}  // namespace
