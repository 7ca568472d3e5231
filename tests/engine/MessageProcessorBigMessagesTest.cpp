// Big and hostile messages must all be delivered: whatever a message holds, the mailbox must
// never get stuck on it. They are made here, not stored.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ProcessorHarness.h"
#include "engine/EntityLimits.h"
#include "engine/MessageProcessor.h"
#include "mailparser/MessageParser.h"

namespace {

struct Processed {
  FakeMessageProcessorInterface settings;
  // Every output line, each call cut at its CR LFs.
  std::vector<std::string> lines;
};

template <class Feed>
void process(Processed& run, Feed feed) {
  {
    MailParser::MessageProcessor processor(run.settings, ProcessorTest::Now);
    feed(processor);
    processor.end();
  }
  for (const auto& call : run.settings.lines) {
    std::size_t start = 0;
    for (auto lineBreak = call.find("\r\n"); lineBreak != std::string::npos; lineBreak = call.find("\r\n", start)) {
      run.lines.push_back(call.substr(start, lineBreak - start));
      start = lineBreak + 2;
    }
    run.lines.push_back(call.substr(start));
  }
}

void expectSoundLines(const Processed& run) {
  for (const auto& line : run.lines) {
    ASSERT_LE(line.size(), 998U);
    ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos);
  }
}

TEST(MessageProcessorBigMessagesTest, AHundredThousandLinePlainMessage) {
  Processed run;
  constexpr int Lines = 100000;
  process(run, [](MailParser::MessageProcessor& p) {
    p.processLine("Subject: long");
    p.processLine("");
    for (int i = 0; i < Lines; ++i) p.processLine("line " + std::to_string(i));
  });
  // Received, Date, Subject, the empty line, the body.
  ASSERT_EQ(run.lines.size(), 4U + Lines);
  EXPECT_EQ(run.lines[4], "line 0");
  EXPECT_EQ(run.lines.back(), "line " + std::to_string(Lines - 1));
}

TEST(MessageProcessorBigMessagesTest, ATwoMegabyteHTMLPart) {
  Processed run;
  run.settings.options.RemoveScripting = true;
  const std::string paragraph = "<p>Some text of the offer, <b>bold</b> and <i>not</i>.</p>";
  std::size_t lines = 0;
  process(run, [&](MailParser::MessageProcessor& p) {
    p.processLine("MIME-Version: 1.0");
    p.processLine("Content-Type: text/html; charset=us-ascii");
    p.processLine("");
    p.processLine("<html><body><script>alert(1)</script>");
    for (std::size_t size = 0; size < 2 * 1024 * 1024; size += paragraph.size()) {
      p.processLine(paragraph);
      ++lines;
    }
    p.processLine("</body></html>");
  });
  expectSoundLines(run);
  EXPECT_EQ(run.settings.counts["ScriptingRemoved"], 1);
  // Filtered and written back as quoted-printable: every paragraph is still there.
  std::string body;
  for (const auto& line : run.lines) body += line.ends_with("=") ? line.substr(0, line.size() - 1) : line + "\n";
  std::size_t found = 0;
  for (auto at = body.find("bold"); at != std::string::npos; at = body.find("bold", at + 1)) ++found;
  EXPECT_EQ(found, lines);
  EXPECT_EQ(body.find("alert"), std::string::npos);
}

TEST(MessageProcessorBigMessagesTest, TenThousandNestedMultiparts) {
  Processed run;
  constexpr int Depth = 10000;
  process(run, [](MailParser::MessageProcessor& p) {
    p.processLine("MIME-Version: 1.0");
    p.processLine("Content-Type: multipart/mixed; boundary=b0");
    p.processLine("");
    p.processLine("--b0");
    p.processLine("Content-Type: text/plain");
    p.processLine("");
    p.processLine("outermost text");
    for (int level = 0; level < Depth; ++level) {
      p.processLine("--b" + std::to_string(level));
      p.processLine("Content-Type: multipart/mixed; boundary=b" + std::to_string(level + 1));
      p.processLine("");
    }
    p.processLine("--b" + std::to_string(Depth));
    p.processLine("Content-Type: text/plain");
    p.processLine("");
    p.processLine("innermost text");
    for (int level = Depth; level >= 0; --level) p.processLine("--b" + std::to_string(level) + "--");
  });
  expectSoundLines(run);
  EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), "outermost text"), run.lines.end());
  // What lies below the nesting limit is removed, never passed unfiltered.
  EXPECT_EQ(std::find(run.lines.begin(), run.lines.end(), "innermost text"), run.lines.end());
  EXPECT_EQ(run.settings.counts["AttachmentsBlocked"], 1);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back(), "--qx_multipart_boundary_0=_--");
}

TEST(MessageProcessorBigMessagesTest, AMessageThatEndsInsideItsHeader) {
  for (const char* last : {"Subject: cut", "Subject: folded", "\tcontinued", "Content-Type: text/html; name=\"x"}) {
    SCOPED_TRACE(last);
    Processed run;
    run.settings.options.AddEmailFooter = true;
    process(run, [&](MailParser::MessageProcessor& p) {
      p.processLine("From: a@example.org");
      p.processLine(last);
    });
    expectSoundLines(run);
    ASSERT_GE(run.lines.size(), 4U);
    EXPECT_EQ(run.lines[0], "Received: from test by qx");
    EXPECT_TRUE(run.settings.statusMessages.empty());
  }
}

// The header stops growing at its limit, and what did not fit is body: cut to the body line
// limit, never dropped.
TEST(MessageProcessorBigMessagesTest, AHugeHeaderFieldIsCutAndTheHeaderBounded) {
  Processed run;
  process(run, [](MailParser::MessageProcessor& p) {
    p.processLine("Subject: " + std::string(1 << 19, 's'));
    for (int i = 0; i < 10000; ++i) p.processLine(" " + std::string(2000, 'c'));
    p.processLine("");
    p.processLine("body");
  });
  const auto blank = std::find(run.lines.begin(), run.lines.end(), "");
  ASSERT_NE(blank, run.lines.end());
  for (auto line = run.lines.begin(); line != blank; ++line) ASSERT_LE(line->size(), 255U);
  EXPECT_EQ(std::count(run.lines.begin(), run.lines.end(), "Subject: " + std::string(246, 's')), 1);
  // Of 20 MB of folded lines about 1 MB fit; each of the others is two body lines.
  const auto bodyLines = static_cast<std::size_t>(std::distance(blank, run.lines.end())) - 1;
  EXPECT_GT(bodyLines, 2 * (10000 - (MailParser::MaxMessageHeaderBytes >> 11)));
  for (auto line = blank; line != run.lines.end(); ++line) ASSERT_LE(line->size(), 998U);
  EXPECT_EQ(run.lines.back(), "body");
}

}  // namespace
