#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/CommaText.h"

namespace {

using namespace std::string_literals;

TEST(CommaText, ListsJoinAndSplitBackUnchanged) {
  struct Case {
    std::vector<std::string> Items;
    std::string Text;
  };
  const std::vector<Case> cases = {
      {{}, ""},
      {{"disabled"}, "disabled"},
      {{"one", "two"}, "one,two"},
      {{"with blank", "plain"}, "\"with blank\",plain"},
      {{"a,b"}, "\"a,b\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{""}, "\"\""},
      {{"a", ""}, "a,"},
      {{"", "b"}, ",b"},
      {{"", ""}, ","},
      {{"tab\there"}, "\"tab\there\""},
      {{"nul\0inside"s}, "\"nul\0inside\""s},
      {{"lone\rcr"}, "\"lone\rcr\""},
      {{"\xC3\x9C" "ber", "\xFF\x80"}, "\xC3\x9C" "ber,\xFF\x80"},  // 8-bit bytes are not blanks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(JoinCommaText(c.Items), c.Text);
    EXPECT_EQ(SplitCommaText(c.Text), c.Items);
  }
}

TEST(CommaText, SplittingReadsAnyTextLeniently) {
  struct Case {
    std::string Text;
    std::vector<std::string> Items;
  };
  const std::vector<Case> cases = {
      {"  one ,  two  ", {"one", "two"}},
      {"one two", {"one", "two"}},
      {"a, ", {"a"}},  // blanks after the last "," add nothing
      // NUL is a blank like the other control characters.
      {"a\0b"s, {"a", "b"}},
      {"\0"s, {}},
      {"\"a\"\0b"s, {"a", "b"}},
      {"a\0,\0b\0"s, {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      // Input that stops early.
      {"\"open quote", {"open quote"}},
      {"\"", {""}},
      {"\"a\"\"", {"a\""}},
      {"\"a\"b,c", {"a", "b", "c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(SplitCommaText(c.Text), c.Items);
  }
}

TEST(CommaText, LongTextsSplitIntoAllTheirItems) {
  std::string text;
  for (int i = 0; i < 100000; ++i) {
    text += "p" + std::to_string(i) + (i % 2 == 0 ? "," : "\0"s);
  }
  const std::vector<std::string> items = SplitCommaText(text);
  ASSERT_EQ(items.size(), 100000U);
  EXPECT_EQ(items.back(), "p99999");
  EXPECT_EQ(SplitCommaText(JoinCommaText(items)), items);
  EXPECT_EQ(SplitCommaText(std::string(1 << 20, '\0')), std::vector<std::string>{});
}

}  // namespace
