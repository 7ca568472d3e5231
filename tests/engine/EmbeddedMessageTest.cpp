#include "engine/EmbeddedMessage.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "EntityHarness.h"
#include "engine/EntityLimits.h"
#include "mailparser/AttachmentTypeRule.h"

namespace {

using EngineTest::filterEveryWay;
using MailParser::AttachmentTypeRule;
using Counts = std::map<std::string, int>;

const std::string kPlain =
    "Content-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\nContent-Disposition: inline\r\n\r\n";
const std::string kMessagePart =
    "Content-Type: message/rfc822\r\nContent-Transfer-Encoding: 8bit\r\nContent-Disposition: inline\r\n\r\n";

void profile(FakeMessageProcessorInterface& s) {
  s.options.RemoveScripting = true;
  s.attachmentTypes = {{AttachmentTypeRule::block, "application", "x-msdownload", {"exe"}}};
}

// An attached message whose HTML and attachments need the same filtering as the outer ones.
const std::string kInner =
    "From: a@b\r\nX-Spaced : dropped\r\nSubject: inner\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=inner\r\n\r\n"
    "--inner\r\nContent-Type: text/html\r\n\r\n<b onclick=x()>hi</b>\r\n"
    "--inner\r\nContent-Type: application/octet-stream; name=setup.exe\r\n\r\nTVqQ\r\n"
    "--inner--\r\n";

TEST(EmbeddedMessage, AnAttachedMessageIsFilteredLikeTheOuterOne) {
  struct Case {
    const char* what;
    std::string encoding;
  };
  for (const Case& c : {Case{"7bit", "7bit"}, Case{"8bit", "8bit"}, Case{"binary", "binary"}}) {
    SCOPED_TRACE(c.what);
    const auto result = filterEveryWay(
        "Content-Type: multipart/mixed; boundary=outer\r\n\r\n--outer\r\n\r\nsee attached\r\n--outer\r\n"
        "Content-Type: message/rfc822\r\nContent-Transfer-Encoding: " + c.encoding + "\r\n\r\n" + kInner +
            "--outer--\r\n",
        profile);
    const std::string encoding = c.encoding == "7bit" ? "7bit" : "8bit";
    EXPECT_EQ(result.output,
              "Content-Type: multipart/mixed;\r\n\tboundary=\"qx_multipart_boundary_0=_\"\r\n\r\n"
              "--qx_multipart_boundary_0=_\r\n" + kPlain + "see attached\r\n"
              "--qx_multipart_boundary_0=_\r\n"
              "Content-Type: message/rfc822\r\nContent-Transfer-Encoding: " + encoding +
                  "\r\nContent-Disposition: inline\r\n\r\n"
                  "From: a@b\r\nSubject: inner\r\nMIME-Version: 1.0\r\n"
                  "Content-Type: multipart/mixed;\r\n\tboundary=\"qx_multipart_boundary_1=_\"\r\n\r\n"
                  "--qx_multipart_boundary_1=_\r\n"
                  "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                  "Content-Disposition: inline\r\n\r\n<b>hi</b>=20\r\n"
                  "--qx_multipart_boundary_1=_--\r\n"
                  "--qx_multipart_boundary_0=_--\r\n");
    EXPECT_EQ(result.counts, (Counts{{"AttachmentsBlocked", 1}, {"ScriptingRemoved", 1}}));
  }
}

TEST(EmbeddedMessage, OnlyUnencodedMessagesThatStayMessagesAreRead) {
  {
    SCOPED_TRACE("base64 is passed as it is");
    const auto result = filterEveryWay(
        "Content-Type: message/rfc822\r\nContent-Transfer-Encoding: base64\r\n\r\nU3ViamVjdDogeA0K\r\n", profile);
    EXPECT_EQ(result.output,
              "Content-Type: message/rfc822\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: inline\r\n"
              "\r\nU3ViamVjdDogeA0K\r\n");
  }
  {
    SCOPED_TRACE("a renamed message is no longer shown as one");
    const auto result = filterEveryWay(
        "Content-Type: message/rfc822; name=fwd.eml\r\n\r\nSubject: x\r\n\r\n<script>\r\n",
        [](FakeMessageProcessorInterface& s) {
          s.attachmentTypes = {{AttachmentTypeRule::rename, "message", "rfc822", {"eml"}}};
        });
    EXPECT_EQ(result.output,
              "Content-Type: application/quorix-renamed\r\nContent-Transfer-Encoding: 8bit\r\n"
              "Content-Disposition: attachment;\r\n\tfilename=\"fwd.eml.qx\"\r\n\r\nSubject: x\r\n\r\n<script>\r\n");
  }
  {
    SCOPED_TRACE("a blocked one goes");
    const auto result = filterEveryWay(
        "Content-Type: message/rfc822\r\n\r\nSubject: x\r\n\r\nbody\r\n", [](FakeMessageProcessorInterface& s) {
          s.attachmentTypes = {{AttachmentTypeRule::block, "message", "rfc822", {"eml"}}};
        });
    EXPECT_EQ(result.output, kPlain + "blocked (message/rfc822)\r\n");
  }
}

TEST(EmbeddedMessage, AMessageAsTheWholeBodyAndOneThatEndsEarly) {
  const auto result = filterEveryWay(
      "Subject: outer\r\nContent-Type: message/rfc822\r\n\r\nSubject: inner\r\nContent-Type: text/html\r\n\r\n"
      "<i onmouseover=x>a</i>\r\n",
      profile);
  EXPECT_EQ(result.output, "Subject: outer\r\n" + kMessagePart +
                               "Subject: inner\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: "
                               "quoted-printable\r\nContent-Disposition: inline\r\n\r\n<i>a</i>=20\r\n");
  // Cut off inside its header: the header is still written, with an empty body.
  const auto cut = filterEveryWay("Content-Type: message/rfc822\r\n\r\nSubject: inner\r\nX-A: b", profile);
  EXPECT_EQ(cut.output, kMessagePart + "Subject: inner\r\nX-A: b\r\n" + kPlain);
}

TEST(EmbeddedMessage, MessagesInMessagesStopAtTheNestingLimit) {
  const int depth = MailParser::MaxNestingLevel + 20;
  std::string message;
  for (int i = 0; i < depth; ++i) {
    message += "X-Level: " + std::to_string(i) + "\r\nContent-Type: message/rfc822\r\n\r\n";
  }
  message += "Content-Type: text/html\r\n\r\n<script>deepest</script>\r\n";
  FakeMessageProcessorInterface settings;
  {
    EngineTest::EntityDriver driver(settings);
    for (const auto& line : MailParserTest::splitCrLfLines(message)) {
      driver.processLine(line);
    }
    driver.end();
  }
  const std::string output = EngineTest::outputText(settings);
  EXPECT_NE(output.find("X-Level: " + std::to_string(MailParser::MaxNestingLevel - 1) + "\r\n"), std::string::npos);
  EXPECT_EQ(output.find("X-Level: " + std::to_string(MailParser::MaxNestingLevel + 1) + "\r\n"), std::string::npos);
  EXPECT_EQ(output.find("deepest"), std::string::npos);
  EXPECT_EQ(settings.counts, (Counts{{"AttachmentsBlocked", 1}}));
}

}  // namespace
