#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ProcessorHarness.h"
#include "engine/EngineTexts.h"
#include "engine/MessageProcessor.h"
#include "mailparser/Header.h"
#include "mailparser/TransferCodings.h"

namespace {

using Counts = std::map<std::string, int>;
using ProcessorTest::processEveryWay;
using ProcessorTest::Setup;

const std::string R = "Received: from test by qx\r\n";
const std::string D = "Date: Wed, 01 May 2024 10:00:00 +0200\r\n";
const TDateTime NowDay = ProcessorTest::Now.dateTime();

struct Case {
  const char* what;
  Setup setup;
  std::string message;
  std::string output;
  Counts counts = {};
  // What the message log gets: the message's date and zone (the processing time when the
  // message has no readable Date).
  TDateTime date = NowDay;
  int zone = 120;
};

void expectCases(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto result = processEveryWay(c.message, c.setup);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.counts, c.counts);
    EXPECT_DOUBLE_EQ(result.messageDate, c.date);
    EXPECT_EQ(result.messageZoneOffsetMinutes, c.zone);
    EXPECT_TRUE(result.statusMessages.empty());
  }
}

const Setup blockReadReceipts = [](FakeMessageProcessorInterface& s) {
  s.options.BlockMDNReadReceipts = true;
};
const Setup blockUUencode = [](FakeMessageProcessorInterface& s) {
  s.options.BlockUUencodingInNonMime = true;
};
const Setup addFooter = [](FakeMessageProcessorInterface& s) { s.options.AddEmailFooter = true; };

TEST(MessageProcessorTest, RewritesTheHeader) {
  const std::string longValue(300, 'a');
  const std::string longDate = "x" + std::string(2000, '9');
  expectCases({
      {"Received and a new Date at the top, Received first",
       {},
       "From: Ann <ann@example.org>\r\nSubject: hi\r\n\r\nbody\r\n",
       R + D + "From: Ann <ann@example.org>\r\nSubject: hi\r\n\r\nbody\r\n"},
      {"a readable Date is rewritten where it stands",
       {},
       "From: a@example.org\r\nDate: Tue, 3 Jun 03 09:05 +0100 (CET)\r\n\r\nx\r\n",
       R + "From: a@example.org\r\nDate: Tue, 03 Jun 2003 09:05:00 +0100\r\n\r\nx\r\n",
       {},
       EncodeDate(2003, 6, 3) + (9 * 60 + 5) / 1440.0,
       60},
      {"a folded Date is rewritten on one line",
       {},
       "Date: Tue, 3 Jun 2003\r\n\t09:05:07 -0500\r\n\r\n",
       R + "Date: Tue, 03 Jun 2003 09:05:07 -0500\r\n\r\n",
       {},
       EncodeDate(2003, 6, 3) + (9 * 3600 + 5 * 60 + 7) / 86400.0,
       -300},
      {"the first of two Date fields is the message's",
       {},
       "Date: 3 Jun 2003 09:05 GMT\r\nDate: junk\r\n\r\n",
       R + "Date: Tue, 03 Jun 2003 09:05:00 +0000\r\nDate: junk\r\n\r\n",
       {},
       EncodeDate(2003, 6, 3) + (9 * 60 + 5) / 1440.0,
       0},
      {"an unreadable Date stays as received, comment and all",
       {},
       "Date: 3 June 2003 09:05 +0100 (CET)\r\n\r\nx\r\n",
       R + "Date: 3 June 2003 09:05 +0100 (CET)\r\n\r\nx\r\n"},
      {"an empty Date stays", {}, "Date:\r\n\r\n", R + "Date: \r\n\r\n"},
      {"a Date of 8-bit garbage stays", {}, "Date: \xff\xfe\x80\r\n\r\n", R + "Date: \xff\xfe\x80\r\n\r\n"},
      {"an over-long unreadable Date stays, cut to the line limit",
       {},
       "Date: " + longDate + "\r\n\r\n",
       R + "Date: " + longDate.substr(0, 249) + "\r\n\r\n"},
      {"an over-long field is cut to 255 characters",
       {},
       "X-Long: " + longValue + "\r\n\r\n",
       R + D + "X-Long: " + longValue.substr(0, 247) + "\r\n\r\n"},
      {"read-receipt requests removed, counted once",
       blockReadReceipts,
       "Disposition-Notification-To: a@example.org\r\nReturn-Receipt-To: a@example.org\r\n"
       "Disposition-Notification-Options: signed-receipt-protocol=optional,pkcs7-signature\r\nSubject: "
       "s\r\n\r\n",
       R + D + "Subject: s\r\n\r\n",
       {{"ReadReceiptsBlocked", 1}}},
      {"read-receipt requests kept when the profile allows them",
       {},
       "Disposition-Notification-To: a@example.org\r\n\r\n",
       R + D + "Disposition-Notification-To: a@example.org\r\n\r\n"},
      {"nothing to remove counts nothing", blockReadReceipts, "Subject: s\r\n\r\n",
       R + D + "Subject: s\r\n\r\n"},
      {"fields whose names end in spaces, as older mail writes them, are removed",
       {},
       "Good: y\r\nSpaced : x\r\nTabbed\t: t\r\n\r\n",
       R + D + "Good: y\r\n\r\n"},
      {"a name with a space, TAB or 8-bit byte inside makes no field: the body starts there",
       {},
       "Good: y\r\nBad Name: x\r\nN\x80me: z\r\n\r\n",
       R + D + "Good: y\r\n\r\nBad Name: x\r\nN\x80me: z\r\n\r\n"},
      {"a header that never ends is completed and written",
       {},
       "From: a@example.org\r\nSubject: cut",
       R + D + "From: a@example.org\r\nSubject: cut\r\n\r\n"},
      {"an empty message gets its own header", {}, "", R + D + "\r\n"},
      {"a line that is no field starts the body, which keeps it",
       {},
       "no colon here\r\nSubject: s\r\n\r\n",
       R + D + "\r\nno colon here\r\nSubject: s\r\n\r\n"},
      {"an mbox From line at the top is no field of the output",
       {},
       "From a@example.org Wed May  1 10:00:00 2024\r\nSubject: s\r\n\r\nb\r\n",
       R + D + "Subject: s\r\n\r\nb\r\n"},
  });
}

TEST(MessageProcessorTest, PlainBodies) {
  const std::string x998(998, 'x');
  const std::string beginLine998 = "begin 644 " + std::string(988, 'a');
  expectCases({
      {"body lines pass unchanged",
       {},
       "Subject: s\r\n\r\none\r\n\r\n  two \r\n",
       R + D + "Subject: s\r\n\r\none\r\n\r\n  two \r\n"},
      {"a UUencode begin line is neutralised", blockUUencode,
       "Subject: s\r\n\r\nbegin 644 run.exe\r\nM86)C\r\n`\r\nend\r\nbeginning 644 words\r\nbegin now\r\n",
       R + D +
           "Subject: s\r\n\r\n begin 644 run.exe\r\nM86)C\r\n`\r\nend\r\nbeginning 644 words\r\nbegin "
           "now\r\n"},
      {"begin lines stay when the profile allows them",
       {},
       "Subject: s\r\n\r\nbegin 644 run.exe\r\n",
       R + D + "Subject: s\r\n\r\nbegin 644 run.exe\r\n"},
      {"a 2000-character line as 998, 998 and 4",
       {},
       "Subject: s\r\n\r\n" + x998 + x998 + "tail\r\n",
       R + D + "Subject: s\r\n\r\n" + x998 + "\r\n" + x998 + "\r\ntail\r\n"},
      {"a begin line hidden behind 998 bytes is neutralised too", blockUUencode,
       "Subject: s\r\n\r\n" + x998 + "begin 644 run.exe\r\n",
       R + D + "Subject: s\r\n\r\n" + x998 + "\r\n begin 644 run.exe\r\n"},
      {"a 998-character begin line keeps within the limit", blockUUencode,
       "Subject: s\r\n\r\n" + beginLine998 + "\r\n",
       R + D + "Subject: s\r\n\r\n " + beginLine998.substr(0, 997) + "\r\na\r\n"},
      {"the footer follows a plain body", addFooter, "Subject: s\r\n\r\nbody\r\n",
       R + D + "Subject: s\r\n\r\nbody\r\n----\r\nprocessed\r\n"},
      {"the footer follows a message cut in its header", addFooter, "Subject: s",
       R + D + "Subject: s\r\n\r\n----\r\nprocessed\r\n"},
  });
}

TEST(MessageProcessorTest, MIMEBodiesGoToTheFilteredEntities) {
  const ProcessorTest::Setup blockExecutables = [](FakeMessageProcessorInterface& s) {
    s.attachmentTypes = {{MailParser::AttachmentTypeRule::block, "application", "x-msdownload", {"exe"}}};
  };
  expectCases({
      {"MIME-Version is written once, as 1.0, at the end of the fields",
       {},
       "From: a@example.org\r\nMIME-Version: 1.0 (produced by x)\r\nMime-version: 1.0\r\n"
       "Content-Type: text/plain; charset=us-ascii\r\nX-After: y\r\n\r\nhello\r\n",
       R + D +
           "From: a@example.org\r\nX-After: y\r\nMIME-Version: 1.0\r\nContent-Type: "
           "text/plain;\r\n\tcharset=\"us-ascii\"\r\n"
           "Content-Transfer-Encoding: 8bit\r\nContent-Disposition: inline\r\n\r\nhello\r\n"},
      {"a content field alone makes a message MIME",
       {},
       "Content-Type: text/plain\r\n\r\nhi\r\n",
       R + D +
           "MIME-Version: 1.0\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n"
           "Content-Disposition: inline\r\n\r\nhi\r\n"},
      {"a multipart is rewritten with its own boundary",
       {},
       "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\npreamble\r\n--b\r\n"
       "Content-Type: text/plain\r\n\r\none\r\n--b--\r\nepilogue\r\n",
       R + D +
           "MIME-Version: 1.0\r\nContent-Type: "
           "multipart/mixed;\r\n\tboundary=\"qx_multipart_boundary_0=_\"\r\n\r\n"
           "--qx_multipart_boundary_0=_\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n"
           "Content-Disposition: inline\r\n\r\none\r\n--qx_multipart_boundary_0=_--\r\n"},
      {"a blocked attachment vanishes and is counted",
       blockExecutables,
       "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
       "Content-Type: text/plain\r\n\r\none\r\n--b\r\nContent-Type: application/x-msdownload; "
       "name=run.exe\r\n"
       "Content-Transfer-Encoding: base64\r\n\r\nTVqQAAMAAAAEAAAA\r\n--b--\r\n",
       R + D +
           "MIME-Version: 1.0\r\nContent-Type: "
           "multipart/mixed;\r\n\tboundary=\"qx_multipart_boundary_0=_\"\r\n\r\n"
           "--qx_multipart_boundary_0=_\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n"
           "Content-Disposition: inline\r\n\r\none\r\n--qx_multipart_boundary_0=_--\r\n",
       {{"AttachmentsBlocked", 1}}},
      {"the footer of a MIME text body comes from its entity", addFooter,
       "Content-Type: text/plain\r\n\r\nhi\r\n",
       R + D +
           "MIME-Version: 1.0\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n"
           "Content-Disposition: inline\r\n\r\nhi\r\n----\r\nprocessed\r\n"},
      {"a multipart header that never ends still closes, with a part",
       {},
       "Content-Type: multipart/mixed; boundary=b",
       R + D +
           "MIME-Version: 1.0\r\nContent-Type: "
           "multipart/mixed;\r\n\tboundary=\"qx_multipart_boundary_0=_\"\r\n\r\n"
           "--qx_multipart_boundary_0=_\r\nContent-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n"
           "Content-Transfer-Encoding: 7bit\r\nContent-Disposition: inline\r\n\r\n" +
           std::string(EngineTexts::rsAllPartsRemoved) + "\r\n--qx_multipart_boundary_0=_--\r\n"},
      {"uuencode in a MIME body is the entity's business", blockUUencode,
       "Content-Type: text/plain\r\n\r\nbegin 644 run.exe\r\n",
       R + D +
           "MIME-Version: 1.0\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n"
           "Content-Disposition: inline\r\n\r\nbegin 644 run.exe\r\n"},
  });
}

// A message may be filtered again: fetched once more, or filtered on its way here before.
// Every run must find the footer already there and add none; from then on the body stays as
// it is. A plain text is stable from the first run; HTML once its own rewriting has settled,
// since a second run reads the first one's layout and our footer as the sender's text.
TEST(MessageProcessorTest, FilteringAgainAddsNoSecondFooter) {
  const ProcessorTest::Setup shippedFooters = [](FakeMessageProcessorInterface& s) {
    s.options.AddEmailFooter = true;
    s.options.PlainTextFooter = std::string(EngineTexts::rsPlainTextFooter);
    s.options.HTMLFooter.assign(EngineTexts::rsHTMLFooter.begin(), EngineTexts::rsHTMLFooter.end());
  };
  // The body as the reader sees it: quoted-printable lines are joined, so that a footer cut
  // by a soft line break is still found.
  const auto bodyOf = [](const std::string& message) {
    const auto end = message.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : MailParser::decodeQuotedPrintable(message.substr(end + 4));
  };
  const auto count = [](const std::string& text, std::string_view what) {
    int found = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++found;
    return found;
  };
  const struct {
    const char* what;
    std::string message;
    std::string_view footerMark;
    bool stableFromTheFirstRun;
  } cases[] = {
      {"a plain message", "Subject: s\r\n\r\nhello\r\n\r\nbye\r\n", EngineTexts::rsPlainTextFooter, true},
      {"a single text/plain part", "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nhello\r\n",
       EngineTexts::rsPlainTextFooter, true},
      {"a single HTML part",
       "MIME-Version: 1.0\r\nContent-Type: text/html\r\n\r\n<html><body><p>hello</p></body></html>\r\n",
       "processed by <a href=", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> bodies;
    std::string message = c.message;
    for (int run = 1; run <= 3; ++run) {
      message = processEveryWay(message, shippedFooters).output;
      bodies.push_back(bodyOf(message));
      EXPECT_EQ(count(bodies.back(), c.footerMark), 1) << "run " << run << ":\n" << bodies.back();
    }
    if (c.stableFromTheFirstRun) {
      EXPECT_EQ(bodies[1], bodies[0]);
    }
    EXPECT_EQ(bodies[2], bodies[1]);
  }

  // Filtered once as HTML, then by a profile that turns HTML into text: the HTML footer's
  // sentence is in the converted text already, so the plain footer must not repeat it.
  const std::string filtered = processEveryWay(cases[2].message, shippedFooters).output;
  const std::string converted = processEveryWay(filtered, [&](FakeMessageProcessorInterface& s) {
                                  shippedFooters(s);
                                  s.options.HTMLMessageTextHandling = MailParser::IMessageProcessorInterface::htmlConvertToText;
                                }).output;
  EXPECT_EQ(count(bodyOf(converted), "has been processed by"), 1) << converted;
}

TEST(MessageProcessorTest, RecordsSubjectAndSender) {
  const auto result = processEveryWay("From: Ann <ann@example.org>\r\nSubject: hello\r\n\tworld\r\n\r\n");
  EXPECT_EQ(result.senderAddress, "ann@example.org");
  // The log shows the subject unfolded; the message keeps its folding.
  EXPECT_EQ(result.subject, "hello\tworld");
  EXPECT_NE(result.output.find("Subject: hello\r\n\tworld\r\n"), std::string::npos);

  const auto none = processEveryWay("X: y\r\n\r\n");
  EXPECT_EQ(none.senderAddress, "");
  EXPECT_EQ(none.subject, "");
}

TEST(MessageProcessorTest, ChoosesTheSenderAddress) {
  struct SenderCase {
    const char* what;
    std::string header;
    bool useSenderAddress;
    std::string expected;
  };
  const std::vector<SenderCase> cases = {
      {"From in angle brackets", "From: Ann <ann@example.org>\r\n", false, "ann@example.org"},
      {"bare From", "From: ann@example.org\r\n", false, "ann@example.org"},
      {"bare From with a comment", "From: ann@example.org (Ann)\r\n", false, "ann@example.org"},
      {"trailing dot and spaces trimmed", "From:   ann@example.org. \r\n", false, "ann@example.org"},
      {"quoted parentheses survive, the comment goes",
       "From: \"Smith (Sales) <x@y>\" (the <boss@evil.example>) <bob@example.org>\r\n", false,
       "bob@example.org"},
      {"angle brackets inside the quoted name are not the address",
       "From: \"ann@bank.example <ann@bank.example>\" <x@elsewhere.example>\r\n", false,
       "x@elsewhere.example"},
      {"an unclosed quote hides the brackets", "From: \"Ann <ann@example.org>\r\n", false,
       "\"Ann <ann@example.org>"},
      {"the first > after the <", "From: a > b <ann@example.org>\r\n", false, "ann@example.org"},
      {"an address only in a comment is no address", "From: (mail <x@evil.example>) Bob <nobody>\r\n", false,
       ""},
      {"From without @", "From: Bob <nobody>\r\n", false, ""},
      {"no From", "Subject: s\r\n", false, ""},
      {"Return-Path when asked", "Return-Path: <bounce@lists.example>\r\nFrom: ann@example.org\r\n", true,
       "bounce@lists.example"},
      {"Return-Path ignored otherwise", "Return-Path: <bounce@lists.example>\r\nFrom: ann@example.org\r\n",
       false, "ann@example.org"},
      {"empty Return-Path falls back to Sender",
       "Return-Path: <>\r\nSender: list@lists.example\r\nFrom: a@example.org\r\n", true,
       "list@lists.example"},
      {"then to From", "Return-Path: <>\r\nSender: nobody\r\nFrom: a@example.org\r\n", true, "a@example.org"},
      {"Return-Path without @ falls back", "Return-Path: <postmaster>\r\nFrom: a@example.org\r\n", true,
       "a@example.org"},
      {"folded Sender trimmed", "Sender:  list@lists.example.\r\n \r\n", true, "list@lists.example"},
      {"8-bit and NUL bytes kept", std::string("From: <\xe4\0@example.org>\r\n", 24), false,
       std::string("\xe4\0@example.org", 14)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MailParser::Header header;
    for (const auto& line : MailParserTest::splitCrLfLines(c.header)) {
      header.addLine(line);
    }
    EXPECT_EQ(MailParser::MessageProcessor::chooseSenderAddress(header, c.useSenderAddress), c.expected);
  }

  const auto result =
      processEveryWay("Return-Path: <bounce@lists.example>\r\nFrom: a@example.org\r\n\r\n",
                      [](FakeMessageProcessorInterface& s) { s.options.UseSenderAddress = true; });
  EXPECT_EQ(result.senderAddress, "bounce@lists.example");
}

// The proxy hands over lines cut at CR LF; a bare LF left inside one must not reach the mail
// program as a line that nothing looked at.
TEST(MessageProcessorTest, ABareLineFeedSeparatesLines) {
  FakeMessageProcessorInterface settings;
  settings.options.BlockMDNReadReceipts = true;
  settings.options.BlockUUencodingInNonMime = true;
  MailParser::MessageProcessor processor(settings, ProcessorTest::Now);
  processor.processLine("Subject: s\nDisposition-Notification-To: a@example.org");
  processor.processLine("");
  processor.processLine("text\nbegin 644 run.exe\r\nend");
  processor.end();
  const std::vector<std::string> expected = {"Received: from test by qx\r\n" + D + "Subject: s\r\n", "text",
                                             " begin 644 run.exe", "end"};
  EXPECT_EQ(settings.lines, expected);
  EXPECT_EQ(settings.counts, (Counts{{"ReadReceiptsBlocked", 1}}));
}

TEST(MessageProcessorTest, EndsOnce) {
  FakeMessageProcessorInterface settings;
  settings.options.AddEmailFooter = true;
  MailParser::MessageProcessor processor(settings, ProcessorTest::Now);
  processor.processLine("Subject: s");
  processor.end();
  const auto written = settings.lines;
  processor.processLine("late");
  processor.end();
  EXPECT_EQ(settings.lines, written);
}

TEST(MessageProcessorTest, UsesTheProcessingTimeItIsGiven) {
  FakeMessageProcessorInterface settings;
  const MailParser::MessageDate when{1999, 12, 31, 23, 59, 59, -210};
  MailParser::MessageProcessor processor(settings, when);
  EXPECT_EQ(processor.processingTime(), when);
  processor.end();
  ASSERT_FALSE(settings.lines.empty());
  EXPECT_NE(settings.lines.front().find("Date: Fri, 31 Dec 1999 23:59:59 -0330\r\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(settings.messageDate, when.dateTime());
  EXPECT_EQ(settings.messageZoneOffsetMinutes, -210);
}

}  // namespace
