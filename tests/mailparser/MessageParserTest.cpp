#include <gtest/gtest.h>

#include <string>

#include "LineFeeding.h"
#include "RecordingEntities.h"
#include "mailparser/MessageParser.h"

namespace {

using namespace std::string_literals;
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

// The header ends at the first line that is no field and no continuation, as mail programs
// read it; that line and all after it are the body, so no text is lost.
TEST(MessageParser, ALineThatIsNoFieldStartsTheBody) {
  struct Case {
    const char* what;
    std::string message;
    std::string trace;
  };
  const Case cases[] = {
      {"no header at all: a text that starts with prose",
       "Send list submissions to\r\n\tlist@example.org\r\n\r\nTo subscribe, visit\r\n",
       "headers \n"
       "body: Send list submissions to\n"
       "body: \tlist@example.org\n"
       "body: \n"
       "body: To subscribe, visit\n"
       "end-without-entity\n"},
      {"a text line in the middle of the header ends it there",
       "Subject: a\r\n b\r\nno field here\r\n\tnot the subject\r\nTo: x\r\n\r\nbody\r\n",
       "headers Subject\n"
       "body: no field here\n"
       "body: \tnot the subject\n"
       "body: To: x\n"
       "body: \n"
       "body: body\n"
       "end-without-entity\n"},
      {"which keeps a MIME message's body, even the rest of its header, for its entity",
       "MIME-Version: 1.0\r\nlost line\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n",
       "headers MIME-Version\n"
       "create text/plain\n"
       "| lost line\n"
       "| Content-Type: text/html\n"
       "| \n"
       "| <p>x</p>\n"
       "end\n"},
      {"a header that stops early, inside a folded field", "Subject: a\r\n b", "headers Subject\nend-without-entity\n"},
      {"a header that stops early, before the name's colon", "Subject: a\r\nFro",
       "headers Subject\nbody: Fro\nend-without-entity\n"},
      {"NUL in the would-be name", "Subject: a\r\nX-A\0B: v\r\n\r\nbody\r\n"s,
       "headers Subject\nbody: X-A\0B: v\nbody: \nbody: body\nend-without-entity\n"s},
      {"a lone CR in the would-be name cuts it into two lines", "Subject: a\r\nX-A\rB: v\r\n",
       "headers Subject\nbody: X-A\nbody: B: v\nend-without-entity\n"},
      {"8-bit bytes in the would-be name", "Subject: a\r\nS\xc3\xbc" "bject: v\r\n",
       "headers Subject\nbody: S\xc3\xbc" "bject: v\nend-without-entity\n"},
      {"8-bit bytes in a value are still a field", "Subject: \xc3\xbc\r\nTo: x\r\n",
       "headers Subject,To\nend-without-entity\n"},
      {"an empty name", "Subject: a\r\n: v\r\n", "headers Subject\nbody: : v\nend-without-entity\n"},
      {"an indented first line continues nothing", " x: y\r\nSubject: a\r\n",
       "headers \nbody:  x: y\nbody: Subject: a\nend-without-entity\n"},
      {"spaces before the colon, as older mail writes, still make a field", "Subject : a\r\nTo\t: x\r\n\r\nb\r\n",
       "headers Subject ,To\t\nbody: b\nend-without-entity\n"},
      {"an mbox From line at the top stays in the header",
       "From a@example.org Mon Jan  1 00:00:00 2024\r\nSubject: a\r\n\r\nb\r\n",
       "headers From a@example.org Mon Jan  1 00,Subject\nbody: b\nend-without-entity\n"},
      {"and is dropped when it has no colon, as before", "From a@example.org\r\nSubject: a\r\n\r\nb\r\n",
       "headers Subject\nbody: b\nend-without-entity\n"},
      {"a From line further down is text", "Subject: a\r\nFrom a@example.org\r\n",
       "headers Subject\nbody: From a@example.org\nend-without-entity\n"},
  };
  for (const auto& c : cases) {
    expectTraceEveryWay(c.message, c.trace, c.what);
  }
}

// A header that never ends holds at most MaxMessageHeaderBytes of lines and
// MaxMessageHeaderFields fields; the line that does not fit starts the body, whole.
TEST(MessageParser, AnOverLongHeaderEndsAtItsLimit) {
  const std::string fold = "\t" + std::string(999, 'f');
  {
    RecordingParser parser;
    parser.processLine("X-Big: 1");
    std::size_t lines = 0;
    while (!parser.inBody) {
      parser.processLine(fold);
      ++lines;
    }
    parser.processLine("Subject: after");
    parser.end();
    // Each line counts with its line break.
    EXPECT_EQ(lines, (MailParser::MaxMessageHeaderBytes - 10) / (fold.size() + 2) + 1);
    EXPECT_EQ(parser.trace.text(), "headers X-Big\nbody: " + fold + "\nbody: Subject: after\nend-without-entity\n");
    EXPECT_LE(parser.header.fields().front().value.size(), MailParser::MaxMessageHeaderBytes);
  }
  {
    RecordingParser parser;
    for (std::size_t i = 0; i <= MailParser::MaxMessageHeaderFields; ++i) {
      EXPECT_FALSE(parser.inBody);
      parser.processLine("X: " + std::to_string(i));
    }
    parser.end();
    EXPECT_EQ(parser.header.size(), MailParser::MaxMessageHeaderFields);
    const std::string trace = parser.trace.text();
    EXPECT_TRUE(trace.ends_with("\nbody: X: " + std::to_string(MailParser::MaxMessageHeaderFields) +
                                "\nend-without-entity\n"));
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
