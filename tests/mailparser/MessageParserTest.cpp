#include <gtest/gtest.h>

#include <string>

#include "LineFeeding.h"
#include "RecordingEntities.h"
#include "mailparser/MessageParser.h"

namespace {

using MailParserTest::expectTraceEveryWay;
using MailParserTest::RecordingParser;

TEST(MessageParser, SplitsHeaderFromBodyAndHandsOnEveryBodyLine) {
  struct Case {
    const char* what;
    std::string message;
    std::string trace;
  };
  const Case cases[] = {
      {"a plain message goes to the parser's own body hooks",
       "Subject: hi\r\nFrom: a@example.com\r\n\r\nline 1\r\n\r\nline 3\r\n",
       "headers Subject,From\n"
       "body: line 1\n"
       "body: \n"
       "body: line 3\n"
       "end-without-entity\n"},
      {"a header that never ends is completed by end()", "Subject: hi\r\nFrom: a@example.com\r\n",
       "headers Subject,From\n"
       "end-without-entity\n"},
      {"an empty message", "", "headers \nend-without-entity\n"},
      {"an empty first line means an empty header", "\r\nSubject: not a field\r\n",
       "headers \nbody: Subject: not a field\nend-without-entity\n"},
      {"folded fields and lines that are no fields",
       "Subject: a\r\n b\r\nno field here\r\n\tstill the subject\r\nTo: x\r\n\r\nbody\r\n",
       "headers Subject,To\n"
       "body: body\n"
       "end-without-entity\n"},
      {"a MIME message gets an entity, which receives the body",
       "MIME-Version: 1.0\r\nContent-Type: text/html\r\n\r\n<p>hi</p>\r\n\r\n",
       "headers MIME-Version,Content-Type\n"
       "create text/html\n"
       "| <p>hi</p>\n"
       "| \n"
       "end\n"},
      {"a bare CR inside a body line separates lines", "Subject: s\r\n\r\none\rtwo\r\rfour\r\n",
       "headers Subject\n"
       "body: one\n"
       "body: two\n"
       "body: \n"
       "body: four\n"
       "end-without-entity\n"},
      {"a bare CR inside a header line separates fields", "Subject: s\rContent-Type: text/plain\r\n\r\nx\r\n",
       "headers Subject,Content-Type\n"
       "create text/plain\n"
       "| x\n"
       "end\n"},
      {"two bare CRs end the header", "Subject: s\r\rbody\r\n",
       "headers Subject\n"
       "body: body\n"
       "end-without-entity\n"},
  };
  for (const auto& c : cases) {
    expectTraceEveryWay(c.message, c.trace, c.what);
  }
}

// CRs at the ends of a call are line-break leftovers, not empty lines; inside a call they
// are line breaks, so this cannot go through the joining feeds above.
TEST(MessageParser, DropsCrsAtTheEndsOfACall) {
  const std::string expected =
      "headers Subject\n"
      "body: body\n"
      "body: \n"
      "body: \n"
      "end-without-entity\n";
  EXPECT_EQ(MailParserTest::traceOf({"\rSubject: s\r\r", "\r", "\rbody\r\r", "", "\r\r\r"}), expected);
}

TEST(MessageParser, ReadsTheSameHeaderWhicheverWayItIsFed) {
  const std::string message =
      "Received: from a\r\n\tby b\r\nSubject: s\r\n  continued\r\nX-Empty:\r\n\r\nbody\r\n";
  for (const auto& feeding : MailParserTest::feedingsOf(message)) {
    RecordingParser parser;
    for (const auto& call : feeding.calls) {
      parser.processLine(call);
    }
    EXPECT_EQ(parser.header.toString(),
              "Received: from a\r\n\tby b\r\nSubject: s\r\n  continued\r\nX-Empty: \r\n")
        << feeding.name;
    EXPECT_TRUE(parser.inBody) << feeding.name;
  }
}

}  // namespace
