#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mailparser/ContentDispositionField.h"
#include "mailparser/ContentTypeField.h"

namespace {

using MailParser::ContentDispositionField;
using MailParser::ContentField;
using MailParser::ContentTypeField;

using Parameters = std::vector<std::pair<std::string, std::string>>;

Parameters parametersOf(const ContentField& field) {
  return {field.parameters.begin(), field.parameters.end()};
}

TEST(ContentTypeField, ParsesTypeSubtypeAndParameters) {
  struct Case {
    std::string value;
    std::string type, subtype;
    Parameters parameters;
  };
  const Case cases[] = {
      // the main value
      {"TEXT/HTML; Charset=iso-8859-1", "TEXT", "HTML", {{"Charset", "iso-8859-1"}}},
      {"text/plain ; name=a.txt", "text", "plain", {{"name", "a.txt"}}},
      {" text / html ", "text", "html", {}},
      {"text", "text", "plain", {}},
      {" Text\t", "text", "plain", {}},
      {"foo", "", "", {}},
      {"", "", "", {}},
      {"/", "", "", {}},
      {"application/vnd.a/b", "application", "vnd.a/b", {}},
      {"text/plain\r\n\t; charset=us-ascii", "text", "plain", {{"charset", "us-ascii"}}},
      // parameter forms
      {"multipart/mixed; boundary=\"=_a b;c\"", "multipart", "mixed", {{"boundary", "=_a b;c"}}},
      {"a/b;x=1;Y=2", "a", "b", {{"x", "1"}, {"Y", "2"}}},
      {"a/b; x = 1 ;\ty=\"2\"", "a", "b", {{"x", "1"}, {"y", "2"}}},
      {"a/b;\r\n\tx=\r\n\t1", "a", "b", {{"x", "1"}}},
      {"a/b; x=\"q\\\"uo\\\\te\"", "a", "b", {{"x", "q\"uo\\te"}}},
      // a fold keeps its blank, but no value holds a control byte: the TAB is dropped
      {"a/b; name=\"long\r\n\tname.pdf\"; x=1", "a", "b", {{"name", "longname.pdf"}, {"x", "1"}}},
      {"a/b; name=\"long\r\n name.pdf\"; x=1", "a", "b", {{"name", "long name.pdf"}, {"x", "1"}}},
      {"a/b; x=\"unterminated", "a", "b", {{"x", "unterminated"}}},
      {"a/b; x=;y=2", "a", "b", {{"x", ""}, {"y", "2"}}},
      {"a/b; x=1; X=2", "a", "b", {{"x", "2"}}},  // the last value wins, the first spelling stays
      {"a/b; filename*=UTF-8''a%20b.txt", "a", "b", {{"filename", "a b.txt"}}},  // see ContentFieldParametersTest
      {"a/b; x=\"=?utf-8?q?a?=\"", "a", "b", {{"x", "=?utf-8?q?a?="}}},
      // 8-bit bytes and controls other than line breaks do not end a quoted string
      {"a/b; x=\"caf\xE9\"; y=2", "a", "b", {{"x", "caf\xE9"}, {"y", "2"}}},
      {"a/b; x=\"a\tb\"; y=2", "a", "b", {{"x", "ab"}, {"y", "2"}}},
      // malformed: what came before is kept, nothing after is read
      {"a/b; x=1 y=2", "a", "b", {{"x", "1"}}},
      {"a/b; x=1;; y=2", "a", "b", {{"x", "1"}}},
      {"a/b; =1; y=2", "a", "b", {}},
      {"a/b; x", "a", "b", {}},
      {"a/b; x y=1", "a", "b", {}},
      {"a/b; x=", "a", "b", {}},
      {"a/b; x= \t", "a", "b", {}},
      {"a/b; x=1 (comment); y=2", "a", "b", {{"x", "1"}}},
      {"a/b;", "a", "b", {}},
  };
  for (const auto& c : cases) {
    ContentTypeField field;
    field.parse(c.value);
    EXPECT_EQ(field.type, c.type) << c.value;
    EXPECT_EQ(field.subtype, c.subtype) << c.value;
    EXPECT_EQ(parametersOf(field), c.parameters) << c.value;
  }
}

TEST(ContentTypeField, FindsParametersIgnoringCaseAndForgetsEarlierOnes) {
  ContentTypeField field;
  field.parse("TEXT/HTML; Charset=iso-8859-1");
  ASSERT_EQ(field.parameters.count("charset"), 1U);
  EXPECT_EQ(field.parameters.at("CHARSET"), "iso-8859-1");

  field.parse("text/plain; format=flowed");
  EXPECT_EQ(parametersOf(field), (Parameters{{"format", "flowed"}}));
}

TEST(ContentTypeField, KnowsMultipart) {
  struct Case {
    std::string value;
    bool multipart;
  };
  const Case cases[] = {
      {"multipart/mixed", true}, {"MultiPart/alternative", true}, {" multipart /digest", true},
      {"multipart", false},      {"text/multipart", false},       {"multiparts/x", false},
  };
  for (const auto& c : cases) {
    ContentTypeField field;
    field.parse(c.value);
    EXPECT_EQ(field.isMultipart(), c.multipart) << c.value;
  }
}

TEST(ContentDispositionField, OnlyInlineIsInline) {
  struct Case {
    std::string value;
    bool attachment;
    Parameters parameters;
  };
  const Case cases[] = {
      {"inline", false, {}},
      {"INLINE", false, {}},
      {"inline; filename=a.txt", false, {{"filename", "a.txt"}}},
      {"inline\t; x=1", false, {{"x", "1"}}},
      {"attachment; filename=\"a b.txt\"", true, {{"filename", "a b.txt"}}},
      {"bogus", true, {}},
      {"", true, {}},
      {"inline ", true, {}},  // without parameters the value is compared as it stands
      {"inlined", true, {}},
  };
  for (const auto& c : cases) {
    ContentDispositionField field;
    field.parse(c.value);
    EXPECT_EQ(field.isAttachment, c.attachment) << c.value;
    EXPECT_EQ(field.mainValue(), c.attachment ? "attachment" : "inline") << c.value;
    EXPECT_EQ(parametersOf(field), c.parameters) << c.value;
  }
}

TEST(ContentField, WritesEveryParameterQuotedOnItsOwnLine) {
  struct Case {
    std::string value;
    std::string expected;
  };
  const Case cases[] = {
      {"TEXT/HTML; Charset=iso-8859-1", "TEXT/HTML;\r\n\tCharset=\"iso-8859-1\""},
      {"text/plain", "text/plain"},
      {"foo", "/"},
      {"a/b; b=2; A=1; c=\"x\\\"y\"", "a/b;\r\n\tA=\"1\";\r\n\tb=\"2\";\r\n\tc=\"x\\\"y\""},
      {"a/b; name=\"tab\\\there\"", "a/b;\r\n\tname=\"tabhere\""},  // no control byte reaches the output
  };
  for (const auto& c : cases) {
    ContentTypeField field;
    field.parse(c.value);
    EXPECT_EQ(field.toString(), c.expected) << c.value;

    ContentTypeField reparsed;
    reparsed.parse(field.toString());
    EXPECT_EQ(reparsed.toString(), field.toString()) << c.value;
  }

  ContentDispositionField disposition;
  disposition.parse("attachment; filename=\"a.pdf\"; size=10");
  EXPECT_EQ(disposition.toString(), "attachment;\r\n\tfilename=\"a.pdf\";\r\n\tsize=\"10\"");
}

}  // namespace
