#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "EntityHarness.h"
#include "engine/EngineTexts.h"
#include "engine/EntityLimits.h"
#include "engine/FilteredMultipartMIMEEntity.h"
#include "mailparser/AttachmentTypeRule.h"

namespace {

using EngineTest::expectCases;
using EngineTest::filterEveryWay;
using MailParser::AttachmentTypeRule;
using Counts = std::map<std::string, int>;

void blockExecutables(FakeMessageProcessorInterface& s) {
  s.attachmentTypes = {{AttachmentTypeRule::block, "application", "x-msdownload", {"exe"}}};
}

const std::string kPlain =
    "Content-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\nContent-Disposition: inline\r\n\r\n";

std::string multipartHeader(const std::string& subtype, int level, const std::string& extra = "") {
  return "Content-Type: multipart/" + subtype + ";\r\n" + extra + "\tboundary=\"qx_multipart_boundary_" +
         std::to_string(level) + "=_\"\r\n\r\n";
}

std::string delimiter(int level) {
  return "--qx_multipart_boundary_" + std::to_string(level) + "=_\r\n";
}

std::string closing(int level) {
  return "--qx_multipart_boundary_" + std::to_string(level) + "=_--\r\n";
}

// The part that stands in for the parts of a multipart that has none left.
std::string removedNotice(int level) {
  return delimiter(level) +
         "Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\nContent-Transfer-Encoding: 7bit\r\n"
         "Content-Disposition: inline\r\n\r\n" +
         std::string(EngineTexts::rsAllPartsRemoved) + "\r\n";
}

TEST(FilteredMultipartMIMEEntity, WritesANormalisedMultipart) {
  expectCases({
      {"parts get the new boundary; preamble and epilogue go",
       {},
       "Subject: s\r\nContent-Type: multipart/mixed; boundary=\"b\"; "
       "charset=x\r\n\r\npreamble\r\n--b\r\n\r\none\r\n"
       "--b\r\nContent-Type: text/plain\r\nX-Part: 2\r\n\r\ntwo\r\n--b--\r\nepilogue\r\n",
       "Subject: s\r\n" + multipartHeader("mixed", 0) + delimiter(0) + kPlain + "one\r\n" + delimiter(0) +
           "X-Part: 2\r\n" + kPlain + "two\r\n" + closing(0),
       {}},
      {"signed becomes mixed with only the boundary",
       {},
       "Content-Type: multipart/signed; boundary=b; protocol=\"application/pgp-signature\"; "
       "micalg=pgp-sha1\r\n\r\n"
       "--b\r\n\r\nx\r\n--b--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + kPlain + "x\r\n" + closing(0),
       {}},
      {"an unknown subtype is mixed, a known one is lower-cased",
       {},
       "Content-Type: multipart/ALTERNATIVE; boundary=b\r\n\r\n--b\r\n\r\nx\r\n--b--\r\n",
       multipartHeader("alternative", 0) + delimiter(0) + kPlain + "x\r\n" + closing(0),
       {}},
      {"related keeps type, start and start-info",
       {},
       "Content-Type: multipart/related; boundary=b; type=\"text/html\"; start=\"<a@b>\"; start-info=x; "
       "y=z\r\n\r\n"
       "--b\r\n\r\nx\r\n--b--\r\n",
       "Content-Type: "
       "multipart/related;\r\n\tboundary=\"qx_multipart_boundary_0=_\";\r\n\tstart=\"<a@b>\";\r\n"
       "\tstart-info=\"x\";\r\n\ttype=\"text/html\"\r\n\r\n" +
           delimiter(0) + kPlain + "x\r\n" + closing(0),
       {}},
      {"a nested multipart gets the next level",
       {},
       "Content-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\nContent-Type: multipart/alternative; "
       "boundary=i\r\n"
       "\r\n--i\r\n\r\ninner\r\n--i--\r\n--o\r\n\r\nouter\r\n--o--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + multipartHeader("alternative", 1) + delimiter(1) +
           kPlain + "inner\r\n" + closing(1) + delimiter(0) + kPlain + "outer\r\n" + closing(0),
       {}},
      {"a body line that reads as the new delimiter gets one more dash",
       {},
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n--qx_multipart_boundary_0=_\r\n"
       "--qx_multipart_boundary_0=_--\r\n--qx_multipart_boundary_1=_\r\n--b--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + kPlain + "---qx_multipart_boundary_0=_\r\n" +
           "---qx_multipart_boundary_0=_--\r\n--qx_multipart_boundary_1=_\r\n" + closing(0),
       {}},
      {"a blocked part vanishes with its delimiter",
       blockExecutables,
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ntext\r\n--b\r\n"
       "Content-Type: application/octet-stream; name=x.exe\r\n\r\nTVqQ\r\n--b\r\n\r\nmore\r\n--b--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + kPlain + "text\r\n" + delimiter(0) + kPlain + "more\r\n" +
           closing(0),
       {{"AttachmentsBlocked", 1}}},
      {"a multipart whose only part is blocked",
       blockExecutables,
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: "
       "application/x-msdownload\r\n\r\nTVqQ\r\n"
       "--b--\r\n",
       multipartHeader("mixed", 0) + removedNotice(0) + closing(0),
       {{"AttachmentsBlocked", 1}}},
      {"a missing closing delimiter is written at the end",
       {},
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ncut off\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + kPlain + "cut off\r\n" + closing(0),
       {}},
      {"no delimiter at all: the body is one text part",
       {},
       "Content-Type: multipart/mixed; boundary=b\r\n\r\nonly preamble\r\n\r\n--c\r\nmore\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + kPlain + "only preamble\r\n\r\n--c\r\nmore\r\n" +
           closing(0),
       {}},
      {"an empty body",
       {},
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n",
       multipartHeader("mixed", 0) + removedNotice(0) + closing(0),
       {}},
      {"no boundary parameter: only -- and ---- count",
       {},
       "Content-Type: multipart/mixed\r\n\r\n--\r\n\r\nx\r\n----\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + kPlain + "x\r\n" + closing(0),
       {}},
      {"a part line with an 8-bit name is no field: it starts the body, as in a message header",
       {},
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nX-Good: 1\r\nX-B\xe4\x64: "
       "2\r\n\r\nx\r\n--b--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + "X-Good: 1\r\n" + kPlain + "X-B\xe4\x64: 2\r\n\r\nx\r\n" +
           closing(0),
       {}},
      {"a part field with blanks before its colon is dropped",
       {},
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nX-Good: 1\r\nX-Old : 2\r\n\r\nx\r\n--b--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + "X-Good: 1\r\n" + kPlain + "x\r\n" + closing(0),
       {}},
      {"a digest part without a type is a message",
       {},
       "Content-Type: multipart/digest; boundary=b\r\n\r\n--b\r\n\r\nSubject: inner\r\n\r\nbody\r\n--b--\r\n",
       multipartHeader("digest", 0) + delimiter(0) +
           "Content-Type: message/rfc822\r\nContent-Transfer-Encoding: 8bit\r\nContent-Disposition: "
           "inline\r\n\r\n"
           "Subject: inner\r\n" +
           kPlain + "body\r\n" + closing(0),
       {}},
  });
}

// MIME wants at least one part, and a reader left with nothing should learn why.
TEST(FilteredMultipartMIMEEntity, AMultipartLeftWithoutPartsGetsANotice) {
  expectCases({
      {"an alternative whose only part is blocked, inside a mixed one",
       blockExecutables,
       "Content-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\nContent-Type: multipart/alternative; "
       "boundary=i\r\n"
       "\r\n--i\r\nContent-Type: "
       "application/x-msdownload\r\n\r\nTVqQ\r\n--i--\r\n--o\r\n\r\ntext\r\n--o--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + multipartHeader("alternative", 1) + removedNotice(1) +
           closing(1) + delimiter(0) + kPlain + "text\r\n" + closing(0),
       {{"AttachmentsBlocked", 1}}},
      {"the notice of the inner one is the outer one's part",
       blockExecutables,
       "Content-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\nContent-Type: multipart/mixed; boundary=i\r\n"
       "\r\n--i\r\nContent-Type: application/x-msdownload\r\n\r\nTVqQ\r\n--i--\r\n--o--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + multipartHeader("mixed", 1) + removedNotice(1) +
           closing(1) + closing(0),
       {{"AttachmentsBlocked", 1}}},
      {"a part whose header never ends leaves none either",
       {},
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nX-A: 1\r\n--b--\r\n",
       multipartHeader("mixed", 0) + removedNotice(0) + closing(0),
       {}},
  });
}

// A body whose declared boundary never occurs is text to every mail program: it is filtered
// as text and kept, not dropped as a preamble.
TEST(FilteredMultipartMIMEEntity, ABodyWithoutAnyDelimiterIsFilteredAsText) {
  const auto uuencodeAndFooter = [](FakeMessageProcessorInterface& s) {
    s.options.DetectUUencodingInMime = true;
    s.options.AddEmailFooter = true;
  };
  expectCases({
      {"uuencode in it is neutralised and the footer follows",
       uuencodeAndFooter,
       "Content-Type: multipart/mixed; boundary=\"never\"\r\n\r\nhello\r\nbegin 644 "
       "run.exe\r\nM9F]O\r\nend\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + kPlain +
           "hello\r\n begin 644 run.exe\r\nM9F]O\r\nend\r\n----\r\nprocessed\r\n" + closing(0),
       {}},
      {"a line that reads as the new delimiter is escaped",
       {},
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n--qx_multipart_boundary_0=_--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + kPlain + "---qx_multipart_boundary_0=_--\r\n" +
           closing(0),
       {}},
      {"nested: the inner body is the outer part's text",
       {},
       "Content-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\nContent-Type: multipart/related; "
       "boundary=i\r\n"
       "\r\ninner text\r\n--o--\r\n",
       multipartHeader("mixed", 0) + delimiter(0) + multipartHeader("related", 1) + delimiter(1) + kPlain +
           "inner text\r\n" + closing(1) + closing(0),
       {}},
      {"a preamble that a closing delimiter follows is still dropped",
       {},
       "Content-Type: multipart/mixed; boundary=b\r\n\r\npreamble\r\n--b--\r\nepilogue\r\n",
       multipartHeader("mixed", 0) + removedNotice(0) + closing(0),
       {}},
  });
}

// A multipart whose body is `count` copies of `line` and then `after`, with no delimiter in
// it, fed a line per call.
void feedUndelimited(FakeMessageProcessorInterface& settings, const std::string& line, std::size_t count,
                     const std::vector<std::string>& after = {}) {
  EngineTest::EntityDriver driver(settings);
  driver.processLine("Content-Type: multipart/mixed; boundary=b");
  driver.processLine("");
  for (std::size_t i = 0; i < count; ++i) {
    driver.processLine(line);
  }
  for (const auto& extra : after) {
    driver.processLine(extra);
  }
  driver.end();
}

TEST(FilteredMultipartMIMEEntity, ABodyWithoutDelimiterBeyondTheLimitIsRemoved) {
  const std::string line(998, 'a');
  const std::size_t lines = MailParser::MaxBufferedPreambleBytes / (line.size() + 2) + 1;
  FakeMessageProcessorInterface settings;
  feedUndelimited(settings, line, lines, {"after the limit"});
  EXPECT_EQ(EngineTest::outputText(settings), multipartHeader("mixed", 0) + removedNotice(0) + closing(0));
  EXPECT_EQ(settings.counts, (Counts{{"AttachmentsBlocked", 1}}));
  ASSERT_EQ(settings.statusMessages.size(), 1U);
  EXPECT_EQ(settings.statusMessages.front().first, MailParser::IMessageProcessorInterface::statusWarning);
}

TEST(FilteredMultipartMIMEEntity, ABodyWithoutDelimiterJustWithinTheLimitIsKept) {
  const std::string line(998, 'a');
  const std::size_t lines = MailParser::MaxBufferedPreambleBytes / (line.size() + 2);
  FakeMessageProcessorInterface settings;
  feedUndelimited(settings, line, lines);
  EXPECT_EQ(std::count(settings.lines.begin(), settings.lines.end(), line),
            static_cast<std::ptrdiff_t>(lines));
  EXPECT_TRUE(settings.counts.empty());
  EXPECT_TRUE(settings.statusMessages.empty());
}

// A part header is cut as the message's own header is, the content fields written from their
// parsed values included; so is the header of a message attached as a part.
TEST(FilteredMultipartMIMEEntity, PartHeadersKeepToTheHeaderLineLimit) {
  const std::string longText(1500, 'x');
  const std::string fields = "X-Long: " + longText + "\r\nX-Folded: a\r\n\t" + longText +
                             "\r\nContent-Description: " + longText + "\r\nContent-ID: <" + longText +
                             "@b>\r\nContent-Type: text/" + longText + "; " + longText +
                             "=1; charset=us-ascii\r\n"
                             "Content-Disposition: inline; " +
                             longText + "=2\r\n";
  const auto result = filterEveryWay("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + fields +
                                     "\r\ntext\r\n--b\r\nContent-Type: message/rfc822\r\n\r\n" + fields +
                                     "\r\ninner text\r\n--b--\r\n");
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < result.output.size();) {
    const auto lineBreak = result.output.find("\r\n", start);
    lines.push_back(result.output.substr(start, lineBreak - start));
    start = lineBreak + 2;
  }
  for (const auto& line : lines) {
    EXPECT_LE(line.size(), 255U) << line.substr(0, 40);
  }
  // What fits stays, in the part's header and in the attached message's: the start of each
  // value, and the parameters with room for a value; the bodies are untouched.
  const std::string keptInBoth[] = {
      "X-Long: " + longText.substr(0, 247), "X-Folded: a", "\t" + longText.substr(0, 254),
      "Content-Description: " + longText.substr(0, 234), "\tcharset=\"us-ascii\""};
  for (const auto& line : keptInBoth) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 2) << line.substr(0, 40);
  }
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "text"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "inner text"), 1);
}

TEST(FilteredMultipartMIMEEntity, ConvertedHTMLGivesWayToTheTextAlternative) {
  const auto convert = [](FakeMessageProcessorInterface& s) {
    s.options.HTMLMessageTextHandling = MailParser::IMessageProcessorInterface::htmlConvertToText;
  };
  const std::string parts =
      "--b\r\n\r\ntext\r\n--b\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--b--\r\n";
  expectCases({
      {"inside an alternative the HTML part goes",
       convert,
       "Content-Type: multipart/alternative; boundary=b\r\n\r\n" + parts,
       multipartHeader("alternative", 0) + delimiter(0) + kPlain + "text\r\n" + closing(0),
       {{"AllHTMLRemoved", 1}}},
      {"inside a mixed it is converted",
       convert,
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n" + parts,
       multipartHeader("mixed", 0) + delimiter(0) + kPlain + "text\r\n" + delimiter(0) +
           "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n"
           "Content-Disposition: inline\r\n\r\nhtml\r\n\r\n\r\n" +
           closing(0),
       {{"AllHTMLRemoved", 1}}},
  });
}

// A child may write many lines in one call (a converted text): each of them, not only the
// first, must be kept from reading as a delimiter of the multipart around it.
TEST(FilteredMultipartMIMEEntity, NoLineOfAMultiLineChildOutputPassesForADelimiter) {
  const auto result = filterEveryWay(
      "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/html\r\n\r\n"
      "<p>first</p><p>--qx_multipart_boundary_0=_</p><p>Content-Type: text/html</p>\r\n--b--\r\n",
      [](FakeMessageProcessorInterface& s) {
        s.options.HTMLMessageTextHandling = MailParser::IMessageProcessorInterface::htmlConvertToText;
      });
  EXPECT_EQ(result.output,
            multipartHeader("mixed", 0) + delimiter(0) +
                "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n"
                "Content-Disposition: inline\r\n\r\nfirst\r\n\r\n---qx_multipart_boundary_0=_\r\n\r\n"
                "Content-Type: text/html\r\n\r\n\r\n" +
                closing(0));
}

// The "-" of the escape must not take a line the child kept to the limit beyond it.
TEST(FilteredMultipartMIMEEntity, AnEscapedLineKeepsToTheLineLimit) {
  const std::string fake = "--qx_multipart_boundary_0=_";
  const std::string full = fake + std::string(998 - fake.size(), 'y');
  const auto result = filterEveryWay("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n" + full +
                                     "\r\n" + fake + "--\r\n--b--\r\n");
  EXPECT_EQ(result.output, multipartHeader("mixed", 0) + delimiter(0) + kPlain + "-" + full.substr(0, 997) +
                               "\r\ny\r\n-" + fake + "--\r\n" + closing(0));
}

// `depth` multiparts, each holding the next and a text part naming its level.
std::string nested(int depth) {
  std::string message = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
  for (int i = 0; i < depth; ++i) {
    const std::string b = "b" + std::to_string(i);
    message += "--" + b + "\r\n\r\nlevel " + std::to_string(i) + "\r\n--" + b + "\r\n";
    if (i + 1 < depth) {
      message += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i + 1) + "\r\n\r\n";
    } else {
      message += "Content-Type: text/html\r\n\r\n<script>deepest</script>\r\n";
    }
  }
  for (int i = depth - 1; i >= 0; --i) {
    message += "--b" + std::to_string(i) + "--\r\n";
  }
  return message;
}

TEST(FilteredMultipartMIMEEntity, NestingBeyondTheLimitIsRemovedAndCounted) {
  using MailParser::MaxNestingLevel;
  {
    SCOPED_TRACE("just within the limit");
    const auto result = filterEveryWay(
        nested(MaxNestingLevel), [](FakeMessageProcessorInterface& s) { s.options.RemoveScripting = true; });
    EXPECT_NE(result.output.find(closing(MaxNestingLevel - 1)), std::string::npos);
    EXPECT_NE(result.output.find("level " + std::to_string(MaxNestingLevel - 1) + "\r\n"), std::string::npos);
    EXPECT_EQ(result.output.find("deepest"), std::string::npos);  // filtered: it was script
    EXPECT_EQ(result.counts, (Counts{{"ScriptingRemoved", 1}}));
  }
  for (const int depth : {MaxNestingLevel + 1, MaxNestingLevel + 50}) {
    SCOPED_TRACE(depth);
    FakeMessageProcessorInterface settings;
    {
      EngineTest::EntityDriver driver(settings);
      for (const auto& line : MailParserTest::splitCrLfLines(nested(depth))) {
        driver.processLine(line);
      }
      driver.end();
    }
    const std::string output = EngineTest::outputText(settings);
    EXPECT_NE(output.find("level " + std::to_string(MaxNestingLevel - 1) + "\r\n"), std::string::npos);
    EXPECT_EQ(output.find("level " + std::to_string(MaxNestingLevel) + "\r\n"), std::string::npos);
    EXPECT_EQ(output.find("qx_multipart_boundary_" + std::to_string(MaxNestingLevel) + "=_"),
              std::string::npos);
    EXPECT_EQ(output.find("deepest"), std::string::npos);
    // Every level that is kept is closed.
    for (int level = 0; level < MaxNestingLevel; ++level) {
      EXPECT_NE(output.find(closing(level)), std::string::npos) << level;
    }
    EXPECT_EQ(settings.counts, (Counts{{"AttachmentsBlocked", 1}}));
  }
}

TEST(FilteredMultipartMIMEEntity, TenThousandNestedMultipartsFinish) {
  FakeMessageProcessorInterface settings;
  {
    EngineTest::EntityDriver driver(settings);
    for (const auto& line : MailParserTest::splitCrLfLines(nested(10000))) {
      driver.processLine(line);
    }
    driver.end();
  }
  EXPECT_EQ(settings.counts, (Counts{{"AttachmentsBlocked", 1}}));
}

}  // namespace
