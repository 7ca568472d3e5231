#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "mailparser/Header.h"
#include "mailparser/HeaderField.h"

namespace {

using MailParser::Header;
using MailParser::HeaderField;

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields fieldsOf(const Header& header) {
  Fields fields;
  for (const auto& field : header.fields()) {
    fields.emplace_back(field.name, field.value);
  }
  return fields;
}

Header headerOf(const std::vector<std::string>& lines) {
  Header header;
  for (const auto& line : lines) {
    header.addLine(line);
  }
  return header;
}

std::vector<std::string> namesOf(const Header& header) {
  std::vector<std::string> names;
  for (const auto& field : header.fields()) {
    names.push_back(field.name);
  }
  return names;
}

TEST(HeaderAddLine, UnfoldsAndSplitsFields) {
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::vector<bool> accepted;
    Fields fields;
  };
  const Case cases[] = {
      {"a folded field keeps its fold",
       {"Subject: hi", "\tthere"},
       {true, true},
       {{"Subject", "hi\r\n\tthere"}}},
      {"several continuations", {"To: a,", " b,", "\t c"}, {true, true, true}, {{"To", "a,\r\n b,\r\n\t c"}}},
      {"a continuation before any field is a line of its own", {" x: y"}, {true}, {{" x", "y"}}},
      {"no name", {":value"}, {false}, {}},
      {"no colon", {"novalue"}, {false}, {}},
      {"an empty line stores nothing", {""}, {true}, {}},
      {"spaces and TABs after the colon go, trailing ones stay",
       {"Subject: \t  hi  "},
       {true},
       {{"Subject", "hi  "}}},
      {"the name is kept as written, trailing space included", {"Subject :x"}, {true}, {{"Subject ", "x"}}},
      {"the value may hold colons", {"X-Time: 12:30:00"}, {true}, {{"X-Time", "12:30:00"}}},
      {"an empty value", {"Subject:", "Cc:   "}, {true, true}, {{"Subject", ""}, {"Cc", ""}}},
      {"a rejected line does not end the field before it",
       {"Subject: a", "garbage", " more"},
       {true, false, true},
       {{"Subject", "a\r\n more"}}},
      {"8-bit bytes pass unchanged", {"X-\xE9t\xE9: caf\xE9"}, {true}, {{"X-\xE9t\xE9", "caf\xE9"}}},
      {"repeated names are separate fields",
       {"Received: one", "Received: two"},
       {true, true},
       {{"Received", "one"}, {"Received", "two"}}},
  };
  for (const auto& c : cases) {
    Header header;
    std::vector<bool> accepted;
    for (const auto& line : c.lines) {
      accepted.push_back(header.addLine(line));
    }
    EXPECT_EQ(accepted, c.accepted) << c.what;
    EXPECT_EQ(fieldsOf(header), c.fields) << c.what;
  }
}

TEST(HeaderToString, WritesFieldsBackAsTheyWereRead) {
  const std::vector<std::string> lines = {"Subject: hi", "\tthere", "From: a@example.com", "X-Empty:"};
  EXPECT_EQ(headerOf(lines).toString(), "Subject: hi\r\n\tthere\r\nFrom: a@example.com\r\nX-Empty: \r\n");
  EXPECT_EQ(Header().toString(), "");
}

TEST(HeaderAddField, PutsFieldsAtEitherEndAndFindsTheTopmost) {
  Header header = headerOf({"Received: middle", "Subject: s"});
  header.addField("Received", "top", true);
  header.addField("RECEIVED", "bottom");
  EXPECT_EQ(header.toString(), "Received: top\r\nReceived: middle\r\nSubject: s\r\nRECEIVED: bottom\r\n");
  ASSERT_NE(header.findField("received"), nullptr);
  EXPECT_EQ(header.findField("received")->value, "top");
  for (const auto& field : header.fields()) {
    EXPECT_TRUE(field.inHeader) << field.name;
  }
}

// One header with every kind of name the lookups must tell apart.
Header lookupFixture() {
  return headerOf({"Subject: s", "Content-Type: text/plain", "content-transfer-encoding: 8bit", "X-Mailer: m",
                   "Received: r1", "Received: r2", "Contents: c"});
}

TEST(HeaderLookup, FindsAndTestsByNameOrPrefixIgnoringCase) {
  struct Case {
    const char* name;
    bool exact;
    bool expected;
  };
  const Case cases[] = {
      {"subject", true, true},   {"SUBJECT", true, true},         {"Subj", true, false},
      {"Subj", false, true},     {"content-", false, true},       {"CONTENT-TRANSFER", false, true},
      {"content-", true, false}, {"content-typex", false, false}, {"x-mailer-extra", false, false},
      {"", false, true},                                 // every name starts with the empty prefix
      {"", true, false},         {"zzz", false, false},  // past the last name in the index
  };
  const Header header = lookupFixture();
  for (const auto& c : cases) {
    EXPECT_EQ(header.hasField(c.name, c.exact), c.expected) << c.name << (c.exact ? " exact" : " prefix");
  }

  struct Find {
    const char* name;
    const char* value;  // null: not found
  };
  const Find finds[] = {
      {"content-type", "text/plain"},
      {"Content-Transfer-Encoding", "8bit"},
      {"received", "r1"},  // the first of two
      {"content", nullptr},
      {"contents", "c"},
      {"", nullptr},
  };
  for (const auto& f : finds) {
    const HeaderField* field = header.findField(f.name);
    if (f.value == nullptr) {
      EXPECT_EQ(field, nullptr) << f.name;
    } else {
      ASSERT_NE(field, nullptr) << f.name;
      EXPECT_EQ(field->value, f.value) << f.name;
    }
  }
}

TEST(HeaderRemoveFields, RemovesByExactNameOrPrefix) {
  struct Case {
    const char* name;
    bool exact;
    std::size_t expectedResult;
    std::vector<std::string> remaining;
  };
  const Case cases[] = {
      {"received",
       true,
       1,
       {"Subject", "Content-Type", "content-transfer-encoding", "X-Mailer",
        "Contents"}},  // both copies, reported as 1
      {"SUBJECT",
       true,
       1,
       {"Content-Type", "content-transfer-encoding", "X-Mailer", "Received", "Received", "Contents"}},
      {"nothing", true, 0, namesOf(lookupFixture())},
      {"content-", true, 0, namesOf(lookupFixture())},
      {"content-", false, 2, {"Subject", "X-Mailer", "Received", "Received", "Contents"}},
      {"Content", false, 3, {"Subject", "X-Mailer", "Received", "Received"}},
      {"rec", false, 2, {"Subject", "Content-Type", "content-transfer-encoding", "X-Mailer", "Contents"}},
      {"", false, 7, {}},
  };
  for (const auto& c : cases) {
    Header header = lookupFixture();
    EXPECT_EQ(header.removeFields(c.name, c.exact), c.expectedResult) << c.name;
    EXPECT_EQ(namesOf(header), c.remaining) << c.name;
    for (const auto& name : c.remaining) {
      EXPECT_NE(header.findField(name), nullptr) << c.name << ": " << name;
    }
    EXPECT_FALSE(header.hasField(c.name, c.exact)) << c.name;
  }
}

TEST(HeaderRemoveRepeatedFields, DropsEveryCopyOfARepeatedName) {
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    const char* prefix;
    std::vector<std::string> remaining;
  };
  const Case cases[] = {
      {"a repeated content field goes entirely",
       {"Content-Type: text/plain", "Subject: s", "Content-ID: <a>", "Content-Type: text/html"},
       "content-",
       {"Subject", "Content-ID"}},
      {"names differing only in case are the same field",
       {"Content-Type: a/b", "content-TYPE: c/d"},
       "Content-",
       {}},
      {"repeats outside the prefix stay",
       {"Received: 1", "Received: 2", "Content-Type: a/b"},
       "content-",
       {"Received", "Received", "Content-Type"}},
      {"an empty prefix takes every repeated name",
       {"Received: 1", "Subject: s", "Received: 2"},
       "",
       {"Subject"}},
  };
  for (const auto& c : cases) {
    Header header = headerOf(c.lines);
    header.removeRepeatedFields(c.prefix);
    EXPECT_EQ(namesOf(header), c.remaining) << c.what;
  }
}

TEST(HeaderRemoveInvalidNames, RemovesNamesWithUnprintableBytes) {
  Header header;
  const std::vector<std::string> names = {" x", "Good", "X-\xE9", "Tab\tName", "Del\x7F", "Also-Good~!"};
  for (const auto& name : names) {
    header.addField(name, "v");
  }
  EXPECT_EQ(header.removeInvalidNames(), 4U);
  EXPECT_EQ(namesOf(header), (std::vector<std::string>{"Good", "Also-Good~!"}));
  EXPECT_EQ(header.findField(" x"), nullptr);
  EXPECT_EQ(header.removeInvalidNames(), 0U);
}

TEST(HeaderTruncateLongLines, CutsEveryLineToTheLimit) {
  struct Case {
    const char* what;
    std::string name, value;
    std::size_t max;
    std::string expectedName, expectedValue;
    std::size_t expectedCount;
  };
  const std::string a300(300, 'a');
  const Case cases[] = {
      {"a long single line keeps what fits after the name", "Subject", a300, 255, "Subject",
       std::string(246, 'a'), 1},
      {"a value that fits exactly is untouched", "Subject", std::string(246, 'a'), 255, "Subject",
       std::string(246, 'a'), 0},
      {"continuation lines may use the whole limit", "Subject", "aaaa\r\n\tbbbbbbbbbbbbbb", 12, "Subject",
       "aaa\r\n\tbbbbbbbbbbb", 1},
      {"a field longer than its first line's room counts even when no line is cut", "A", "abc\r\n\tdef", 10,
       "A", "abc\r\n\tdef", 1},
      {"every over-long line of one field is cut, the field counted once", "B",
       "0123456789\r\n 0123456789\r\n x", 8, "B", "01234\r\n 0123456\r\n x", 1},
      {"a name that leaves no room for ': ' is cut and loses its value", "X-Very-Long-Name", "v", 10,
       "X-Very-L", "", 1},
      {"a name exactly filling the line with ': ' keeps an empty value", "X-Name", "", 8, "X-Name", "", 0},
      {"a limit below two leaves an empty name", "Subject", "v", 1, "", "", 1},
  };
  for (const auto& c : cases) {
    Header header;
    header.addField(c.name, c.value);
    header.addField("To", "b");
    EXPECT_EQ(header.truncateLongLines(c.max), c.expectedCount + (c.max < 4 ? 1 : 0)) << c.what;
    EXPECT_EQ(header.fields().front().name, c.expectedName) << c.what;
    EXPECT_EQ(header.fields().front().value, c.expectedValue) << c.what;
    if (c.expectedName != c.name) {
      // The index follows the new name.
      EXPECT_EQ(header.findField(c.name), nullptr) << c.what;
      EXPECT_EQ(header.findField(c.expectedName), &header.fields().front()) << c.what;
    }
  }
}

TEST(HeaderCopy, CopiesFieldsIntoAnIndexOfTheirOwn) {
  Header original = headerOf({"Subject: s", "Received: 1", "Received: 2"});
  Header copy(original);
  EXPECT_EQ(copy.toString(), original.toString());
  ASSERT_NE(copy.findField("subject"), nullptr);
  EXPECT_NE(copy.findField("subject"), original.findField("subject"));
  for (const auto& field : copy.fields()) {
    EXPECT_TRUE(field.inHeader);
  }

  EXPECT_EQ(copy.removeFields("received"), 1U);
  EXPECT_TRUE(original.hasField("received"));

  Header assigned;
  assigned.addField("Old", "o");
  assigned = original;
  EXPECT_EQ(assigned.toString(), original.toString());
  EXPECT_FALSE(assigned.hasField("old"));
  EXPECT_EQ(assigned.removeFields("subject"), 1U);
  EXPECT_EQ(assigned.findField("subject"), nullptr);
  EXPECT_NE(original.findField("subject"), nullptr);

  Header moved(std::move(assigned));
  ASSERT_NE(moved.findField("received"), nullptr);
  EXPECT_EQ(moved.findField("received")->value, "1");
}

TEST(HeaderField, RefusesAssignmentOnceInAHeader) {
  Header header = headerOf({"Subject: s"});
  HeaderField* stored = header.findField("subject");
  ASSERT_NE(stored, nullptr);
  const HeaderField replacement("Subject", "other");
  try {
    *stored = replacement;
    FAIL() << "assignment to a stored field succeeded";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "cannot assign to header fields once they are in a header");
  }
  EXPECT_THROW(*stored = HeaderField("Subject", "moved"), std::runtime_error);
  EXPECT_EQ(stored->value, "s");

  // A copy is a field of its own and may be changed freely.
  HeaderField copy(*stored);
  EXPECT_FALSE(copy.inHeader);
  copy = replacement;
  EXPECT_EQ(copy.value, "other");

  // Moving out of a stored field must not empty it behind the header's back.
  HeaderField taken(std::move(*stored));
  EXPECT_EQ(taken.value, "s");
  EXPECT_EQ(header.toString(), "Subject: s\r\n");
}

}  // namespace
