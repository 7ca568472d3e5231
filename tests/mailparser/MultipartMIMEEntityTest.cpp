#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "RecordingEntities.h"
#include "mailparser/Header.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MessageParser.h"
#include "mailparser/MultipartMIMEEntity.h"

namespace {

using MailParserTest::expectTraceEveryWay;
using namespace std::string_literals;

TEST(MultipartMIMEEntity, RecognisesItsDelimiters) {
  struct Case {
    const char* what;
    std::string body;   // after the header "Content-Type: multipart/mixed; boundary=b"
    std::string trace;  // after "create multipart/mixed"
  };
  const Case cases[] = {
      {"one part", "--b\r\n\r\nhi\r\n--b--\r\n",
       "  create text/plain\n"
       "  | hi\n"
       "  end\n"
       "closed\n"},
      {"preamble and epilogue are dropped", "preamble\r\n\r\n--b\r\n\r\nhi\r\n--b--\r\nepilogue\r\n",
       "  create text/plain\n"
       "  | hi\n"
       "  end\n"
       "closed\n"},
      {"spaces and TABs after a delimiter do not matter", "--b \t\r\n\r\nhi\r\n--b--   \r\nepilogue\r\n",
       "  create text/plain\n"
       "  | hi\n"
       "  end\n"
       "closed\n"},
      {"boundaries are case-sensitive", "--b\r\n\r\n--B\r\n--B--\r\n",
       "  create text/plain\n"
       "  | --B\n"
       "  | --B--\n"
       "  end\n"
       "closed\n"},
      {"a longer line is no delimiter", "--b\r\n\r\n--bx\r\n--b--x\r\n --b\r\n---b\r\n--b---\r\n",
       "  create text/plain\n"
       "  | --bx\n"
       "  | --b--x\n"
       "  |  --b\n"
       "  | ---b\n"
       "  | --b---\n"
       "  end\n"
       "closed\n"},
      {"each part gets its header's type; empty lines in a body are kept",
       "--b\r\nContent-Type: text/html\r\n\r\n<p>\r\n\r\n--b\r\n"
       "Content-Type: application/pdf\r\nContent-Disposition: attachment\r\n\r\nJVBERi0=\r\n--b--\r\n",
       "  create text/html\n"
       "  | <p>\n"
       "  | \n"
       "  end\n"
       "  create application/pdf\n"
       "  | JVBERi0=\n"
       "  end\n"
       "closed\n"},
      {"a text line ends a part header and starts the body, as in a message header",
       "--b\r\nContent-Type: text/html\r\nno blank line\r\n--b\r\n\r\nx\r\n",
       "  create text/html\n"
       "  | no blank line\n"
       "  end\n"
       "  create text/plain\n"
       "  | x\n"
       "  end\n"
       "closed\n"},
      {"continuations and blanks before the colon still belong to the header",
       "--b\r\nContent-Type: text/html;\r\n\tcharset=utf-8\r\nX-Old : y\r\n\r\nbody\r\n--b--\r\n",
       "  create text/html\n"
       "  | body\n"
       "  end\n"
       "closed\n"},
      {"a header line with NUL or 8-bit bytes in its name is body text",
       "--b\r\nContent-Type: text/html\r\nX\0: 1\r\nK\xe4se: 2\r\n--b--\r\n"s,
       "  create text/html\n  | X\0: 1\n  | K\xe4se: 2\n  end\nclosed\n"s},
      {"a part header that never ends is dropped at the delimiter",
       "--b\r\nContent-Type: text/html\r\nX-A: 1\r\n--b\r\n\r\nx\r\n",
       "  create text/plain\n"
       "  | x\n"
       "  end\n"
       "closed\n"},
      {"a delimiter right after another opens an empty part", "--b\r\n--b\r\n\r\n--b\r\n\r\n--b--\r\n",
       "  create text/plain\n"
       "  end\n"
       "  create text/plain\n"
       "  end\n"
       "closed\n"},
      {"no delimiter at all: everything is preamble", "just text\r\n--c\r\n\r\n", "closed\n"},
      {"end() finishes an open part", "--b\r\n\r\ntruncated\r\n",
       "  create text/plain\n"
       "  | truncated\n"
       "  end\n"
       "closed\n"},
      {"end() drops a part still in its header", "--b\r\nSubject: x\r\n", "closed\n"},
      {"nothing reopens a closed multipart", "--b\r\n\r\nx\r\n--b--\r\n--b\r\n\r\nlate\r\n--b--\r\n",
       "  create text/plain\n"
       "  | x\n"
       "  end\n"
       "closed\n"},
  };
  for (const auto& c : cases) {
    expectTraceEveryWay("Content-Type: multipart/mixed; boundary=b\r\n\r\n" + c.body,
                        "headers Content-Type\ncreate multipart/mixed\n" + c.trace, c.what);
  }
}

TEST(MultipartMIMEEntity, WithoutABoundaryOnlyBareDashesDelimit) {
  expectTraceEveryWay("Content-Type: multipart/mixed\r\n\r\n--b\r\n--\r\n\r\n--x\r\n----\r\nafter\r\n",
                      "headers Content-Type\n"
                      "create multipart/mixed\n"
                      "  create text/plain\n"
                      "  | --x\n"
                      "  end\n"
                      "closed\n",
                      "no boundary parameter");
}

TEST(MultipartMIMEEntity, HandsNestedMultipartsTheirOwnParts) {
  const std::string message =
      "Content-Type: multipart/mixed; boundary=\"outer\"\r\n"
      "\r\n"
      "--outer\r\n"
      "Content-Type: multipart/alternative; boundary=\"inner\"\r\n"
      "\r\n"
      "inner preamble\r\n"
      "--inner\r\n"
      "Content-Type: text/plain\r\n"
      "\r\n"
      "plain\r\n"
      "--inner\r\n"
      "Content-Type: text/html\r\n"
      "\r\n"
      "<b>html</b>\r\n"
      "--inner--\r\n"
      "inner epilogue\r\n"
      "--outer\r\n"
      "Content-Type: multipart/related; boundary=\"unclosed\"\r\n"
      "\r\n"
      "--unclosed\r\n"
      "\r\n"
      "left open\r\n"
      "--outer--\r\n";
  expectTraceEveryWay(message,
                      "headers Content-Type\n"
                      "create multipart/mixed\n"
                      "  create multipart/alternative\n"
                      "    create text/plain\n"
                      "    | plain\n"
                      "    end\n"
                      "    create text/html\n"
                      "    | <b>html</b>\n"
                      "    end\n"
                      "  closed\n"
                      "  create multipart/related\n"
                      "    create text/plain\n"
                      "    | left open\n"
                      "    end\n"
                      "  closed\n"
                      "closed\n",
                      "nested");
}

TEST(MultipartMIMEEntity, TypesDigestPartsAsMessagesByDefault) {
  const std::string message =
      "Content-Type: Multipart/DIGEST; boundary=d\r\n"
      "\r\n"
      "--d\r\n"
      "\r\n"
      "From: a@example.com\r\n"
      "Subject: first\r\n"
      "\r\n"
      "--d\r\n"
      "Content-Type: text/plain\r\n"
      "\r\n"
      "typed\r\n"
      "--d\r\n"
      "Content-Type: text/plain\r\n"
      "Content-Type: text/html\r\n"
      "\r\n"
      "contradicting\r\n"
      "--d--\r\n";
  expectTraceEveryWay(message,
                      "headers Content-Type\n"
                      "create Multipart/DIGEST\n"
                      "  create message/rfc822\n"
                      "  | From: a@example.com\n"
                      "  | Subject: first\n"
                      "  | \n"
                      "  end\n"
                      "  create text/plain\n"
                      "  | typed\n"
                      "  end\n"
                      "  create message/rfc822\n"
                      "  | contradicting\n"
                      "  end\n"
                      "closed\n",
                      "digest");
}

// A part header that never ends costs no more than a message header may: where it would
// outgrow the limits, it ends, and the line that does not fit starts the body.
TEST(MultipartMIMEEntity, APartHeaderIsBoundedAsAMessageHeaderIs) {
  struct Case {
    const char* what;
    std::string header;
    std::string firstBodyLine;
  };
  const std::string longValue(1000, 'v');
  // Each line counts with its line break; the late line is longer than the room left.
  std::string manyBytes;
  for (std::size_t i = 0; i < MailParser::MaxMessageHeaderBytes / (longValue.size() + 7); ++i) {
    manyBytes += "X-A: " + longValue + "\r\n";
  }
  const std::string lateLine = "X-Late: " + std::string(MailParser::MaxMessageHeaderBytes % 1007, 'w');
  std::string manyFields;
  for (std::size_t i = 0; i < MailParser::MaxMessageHeaderFields; ++i) {
    manyFields += "X-F: 1\r\n";
  }
  const Case cases[] = {
      {"beyond the bytes", manyBytes + lateLine + "\r\n", lateLine},
      {"beyond the fields", manyFields + "X-Late: 2\r\n", "X-Late: 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MailParser::Header source;
    source.addLine("Content-Type: multipart/mixed; boundary=b");
    MailParserTest::Trace trace;
    MailParserTest::RecordingMultipart outer(MailParser::MIMEEntityHeader(source), nullptr, trace);
    outer.processLine("--b");
    std::size_t start = 0;
    for (auto lineBreak = c.header.find("\r\n"); lineBreak != std::string::npos;
         start = lineBreak + 2, lineBreak = c.header.find("\r\n", start)) {
      outer.processLine(std::string_view(c.header).substr(start, lineBreak - start));
    }
    outer.processLine("body");
    outer.end();
    EXPECT_EQ(trace.text(), "  create text/plain\n  | " + c.firstBodyLine + "\n  | body\n  end\nclosed\n");
  }
}

// Without the parser around it: the entity's own state and ownership as parts come and go.
TEST(MultipartMIMEEntity, HoldsOnlyTheCurrentPart) {
  MailParser::Header source;
  source.addLine("Content-Type: multipart/mixed; BOUNDARY=\"=_x\"");
  MailParserTest::Trace trace;
  MailParserTest::RecordingMultipart outer(MailParser::MIMEEntityHeader(source), nullptr, trace);
  using State = MailParser::MultipartMIMEEntity::State;
  EXPECT_EQ(outer.boundary, "=_x");
  EXPECT_EQ(outer.state, State::Preamble);

  outer.processLine("--=_x");
  EXPECT_EQ(outer.state, State::PartHeader);
  ASSERT_NE(outer.partHeader, nullptr);
  EXPECT_EQ(outer.part, nullptr);

  outer.processLine("Content-Type: multipart/alternative; boundary=i");
  outer.processLine("");
  EXPECT_EQ(outer.state, State::PartBody);
  auto* inner = dynamic_cast<MailParserTest::RecordingMultipart*>(outer.part.get());
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->parent, &outer);
  EXPECT_EQ(inner->boundary, "i");

  outer.processLine("--=_x--");
  EXPECT_EQ(outer.state, State::Finished);
  EXPECT_EQ(outer.part, nullptr);
  EXPECT_EQ(outer.partHeader, nullptr);
  outer.end();
  EXPECT_EQ(trace.text(), "  create multipart/alternative\n  closed\nclosed\n");
}

}  // namespace
