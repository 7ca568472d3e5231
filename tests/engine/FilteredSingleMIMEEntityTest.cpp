#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "EntityHarness.h"
#include "engine/EntityLimits.h"
#include "engine/FilteredSingleMIMEEntity.h"
#include "mailparser/AttachmentTypeRule.h"

namespace {

using EngineTest::expectQuietCases;
using EngineTest::filterEveryWay;
using MailParser::AttachmentTypeRule;
using Counts = std::map<std::string, int>;

AttachmentTypeRule rule(int action, std::string mediaType, std::string subType,
                        std::vector<std::string> extensions) {
  return {action, std::move(mediaType), std::move(subType), std::move(extensions)};
}

// A policy like the shipped profiles': executables blocked, scripts renamed, HTML by the HTML
// options, text and images allowed.
void policy(FakeMessageProcessorInterface& s) {
  s.attachmentTypes = {
      rule(AttachmentTypeRule::block, "application", "x-msdownload", {"exe", "com"}),
      rule(AttachmentTypeRule::rename, "application", "x-javascript", {"js"}),
      rule(AttachmentTypeRule::rename, "", "", {"vbs"}),
      rule(AttachmentTypeRule::seeHTML, "text", "html", {"htm", "html"}),
      rule(AttachmentTypeRule::allow, "text", "plain", {"txt"}),
      rule(AttachmentTypeRule::allow, "image", "jpeg", {"jpg", "jpeg"}),
  };
  s.extensionsByMIMEType = {{"image/gif", "gif"}, {"application/pdf", "pdf"}};
}

const std::string kPlain =
    "Content-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\nContent-Disposition: inline\r\n\r\n";

std::string attachmentHeader(const std::string& type, const std::string& encoding, const std::string& name) {
  return "Content-Type: " + type + "\r\nContent-Transfer-Encoding: " + encoding +
         "\r\nContent-Disposition: attachment;\r\n\tfilename=\"" + name + "\"\r\n\r\n";
}

TEST(FilteredSingleMIMEEntity, PassesBodiesThroughLineByLine) {
  expectQuietCases({
      {"other fields stay, the content fields are written in one form",
       {},
       "Subject: hi\r\nContent-type: TEXT/plain (comment)\r\nX-A: b\r\n\r\nline 1\r\n\r\nline 3\r\n",
       "Subject: hi\r\nX-A: b\r\nContent-Type: TEXT/plain\r\nContent-Transfer-Encoding: 8bit\r\n"
       "Content-Disposition: inline\r\n\r\nline 1\r\n\r\nline 3\r\n",
       {}},
      {"the plain-text footer follows a text body",
       [](auto& s) { s.options.AddEmailFooter = true; },
       "Content-Type: text/plain\r\n\r\nhello\r\n",
       kPlain + "hello\r\n----\r\nprocessed\r\n",
       {}},
      {"but not a base64 text",
       [](auto& s) { s.options.AddEmailFooter = true; },
       "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\naGk=\r\n",
       "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: inline\r\n\r\n"
       "aGk=\r\n",
       {}},
      {"a line longer than 998 is cut",
       {},
       "Content-Type: text/plain\r\n\r\n" + std::string(1500, 'x') + "\r\n",
       kPlain + std::string(998, 'x') + "\r\n" + std::string(502, 'x') + "\r\n",
       {}},
      {"an unknown transfer encoding is written as 8bit",
       {},
       "Content-Type: text/plain\r\nContent-Transfer-Encoding: x-rot13\r\n\r\nuryyb\r\n",
       kPlain + "uryyb\r\n",
       {}},
      {"a header that stops early still makes an entity", {}, "Content-Type: text/plain", kPlain, {}},
      {"NUL, 8-bit bytes and a lone LF pass unchanged",
       {},
       std::string("Content-Type: text/plain\r\n\r\na\0b\xff\nc\r\n", 36),
       kPlain + std::string("a\0b\xff\nc\r\n", 8),
       {}},
  });
}

TEST(FilteredSingleMIMEEntity, NeutralisesUUencodeBeginLinesInText) {
  const auto detect = [](FakeMessageProcessorInterface& s) { s.options.DetectUUencodingInMime = true; };
  expectQuietCases({
      {"in the text",
       detect,
       "Content-Type: text/plain\r\n\r\nbegin 666 x.exe\r\nM9F]O\r\nend\r\n",
       kPlain + " begin 666 x.exe\r\nM9F]O\r\nend\r\n",
       {}},
      {"not when the option is off",
       {},
       "Content-Type: text/plain\r\n\r\nbegin 666 x.exe\r\n",
       kPlain + "begin 666 x.exe\r\n",
       {}},
      {"not in an attachment",
       detect,
       "Content-Type: text/plain\r\nContent-Disposition: attachment; filename=a.txt\r\n\r\nbegin 666 "
       "x.exe\r\n",
       attachmentHeader("text/plain", "8bit", "a.txt") + "begin 666 x.exe\r\n",
       {}},
      {"not a word that starts with begin",
       detect,
       "Content-Type: text/plain\r\n\r\nbeginning 666\r\n",
       kPlain + "beginning 666\r\n",
       {}},
      {"a begin line hidden behind 998 bytes of padding, once the line is cut",
       detect,
       "Content-Type: text/plain\r\n\r\n" + std::string(998, 'x') + "begin 644 x.exe\r\n",
       kPlain + std::string(998, 'x') + "\r\n begin 644 x.exe\r\n",
       {}},
      {"a begin piece of a full line keeps to the limit with its space",
       [](FakeMessageProcessorInterface& s) {
         s.options.DetectUUencodingInMime = true;
         s.options.MaxLineLength = 12;
       },
       "Content-Type: text/plain\r\n\r\nbegin 644 x.exe and more\r\n",
       kPlain + " begin 644 x\r\n.exe and mor\r\ne\r\n",
       {}},
  });
}

TEST(FilteredSingleMIMEEntity, AppliesTheAttachmentPolicy) {
  const auto sanitising = [](FakeMessageProcessorInterface& s) {
    policy(s);
    s.options.ChangeMaliciousFilenames = true;
  };
  expectQuietCases({
      {"a dangerous name is made safe and counted",
       sanitising,
       "Content-Type: application/pdf; name=\"re:port?.pdf\"\r\nContent-Transfer-Encoding: "
       "base64\r\n\r\nQUJD\r\n",
       attachmentHeader("application/pdf", "base64", "re_port_.pdf") + "QUJD\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"not when the option is off",
       policy,
       "Content-Type: application/pdf; name=\"re:port?.pdf\"\r\n\r\nQUJD\r\n",
       attachmentHeader("application/pdf", "8bit", "re:port?.pdf") + "QUJD\r\n",
       {}},
      {"a blocked type as the whole body leaves a notice of its type",
       sanitising,
       "Content-Type: application/octet-stream; name=\"re:port?.exe\"\r\nContent-Transfer-Encoding: "
       "base64\r\n"
       "Content-ID: <a@b>\r\n\r\nTVqQ\r\n",
       kPlain + "blocked (application/x-msdownload)\r\n",
       {{"AttachmentsBlocked", 1}}},
      {"a renamed type",
       policy,
       "Content-Type: application/octet-stream\r\nContent-Disposition: attachment;"
       " filename=run.js\r\n\r\nx\r\n",
       attachmentHeader("application/quorix-renamed", "8bit", "run.js.qx") + "x\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"a rule without a type renames without retyping first",
       policy,
       "Content-Type: text/plain; charset=us-ascii; name=a.vbs\r\n\r\nx\r\n",
       "Content-Type: application/quorix-renamed;\r\n\tcharset=\"us-ascii\"\r\nContent-Transfer-Encoding: "
       "8bit\r\n"
       "Content-Disposition: attachment;\r\n\tfilename=\"a.vbs.qx\"\r\n\r\nx\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"dots that hide an extension",
       sanitising,
       "Content-Type: application/pdf\r\nContent-Disposition: attachment; "
       "filename=\"doc.pdf....exe\"\r\n\r\nx\r\n",
       attachmentHeader("application/pdf", "8bit", "doc.pdf._._exe") + "x\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"a class-identifier suffix goes, and the extension under it decides",
       sanitising,
       "Content-Type: application/octet-stream\r\nContent-Disposition: attachment;"
       " filename=\"file.txt.{3050F4D8-98B5-11CF-BB82-00AA00BDCE0B}\"\r\n\r\nx\r\n",
       attachmentHeader("text/plain", "8bit", "file.txt") + "x\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"under it an executable is blocked",
       sanitising,
       "Content-Type: application/octet-stream\r\nContent-Disposition: attachment;"
       " filename=\"x.exe.{3050F4D8-98B5-11CF-BB82-00AA00BDCE0B}\"\r\n\r\nx\r\n",
       kPlain + "blocked (application/x-msdownload)\r\n",
       {{"AttachmentsBlocked", 1}}},
      {"a long name keeps its extension",
       sanitising,
       "Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"" +
           std::string(300, 'a') + ".pdf\"\r\n\r\nx\r\n",
       "Content-Type: application/pdf\r\nContent-Transfer-Encoding: 8bit\r\nContent-Disposition: "
       "attachment;\r\n"
       "\tfilename*0=\"" +
           std::string(239, 'a') + "\";\r\n\tfilename*1=\"" + std::string(6, 'a') + ".pdf\"\r\n\r\nx\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"an RFC 2231 name is judged as a mail program joins it",
       policy,
       "Content-Type: application/octet-stream\r\nContent-Disposition: attachment;\r\n"
       " filename*0=\"invoice.pdf.\"; filename*1=\"exe\"; filename=\"invoice.pdf\"\r\n\r\nx\r\n",
       kPlain + "blocked (application/x-msdownload)\r\n",
       {{"AttachmentsBlocked", 1}}},
      {"so is an encoded word",
       policy,
       "Content-Type: application/octet-stream; name=\"=?utf-8?q?setup=2Eexe?=\"\r\n\r\nx\r\n",
       kPlain + "blocked (application/x-msdownload)\r\n",
       {{"AttachmentsBlocked", 1}}},
      {"the name of the type field is written as the file name only",
       policy,
       "Content-Type: image/jpeg; name=a.jpg\r\nContent-Disposition: inline\r\n\r\nx\r\n",
       attachmentHeader("image/jpeg", "8bit", "a.jpg") + "x\r\n",
       {}},
      {"the disposition's name wins over the type's",
       policy,
       "Content-Type: image/jpeg; name=a.exe\r\nContent-Disposition: attachment; filename=a.jpg\r\n\r\nx\r\n",
       attachmentHeader("image/jpeg", "8bit", "a.jpg") + "x\r\n",
       {}},
      {"a name without extension gets the type's",
       policy,
       "Content-Type: image/jpeg\r\nContent-Disposition: attachment; filename=photo\r\n\r\nx\r\n",
       attachmentHeader("image/jpeg", "8bit", "photo.jpg") + "x\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"an unnamed attachment gets a name from the MIME database",
       policy,
       "Content-Type: image/gif\r\nContent-Disposition: attachment\r\n\r\nx\r\n",
       attachmentHeader("image/gif", "8bit", "ATT00001.gif") + "x\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"an unnamed octet stream gets the default extension",
       policy,
       "Content-Type: application/octet-stream\r\nContent-Disposition: attachment\r\n\r\nx\r\n",
       attachmentHeader("application/octet-stream", "8bit", "ATT00001.___") + "x\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"a name that sanitises to nothing is invented",
       sanitising,
       "Content-Type: image/jpeg\r\nContent-Disposition: attachment; filename=\" . \"\r\n\r\nx\r\n",
       attachmentHeader("image/jpeg", "8bit", "ATT00001.jpg") + "x\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"an inline body of a blocked type",
       policy,
       "Content-Type: application/x-msdownload\r\n\r\nTVqQ\r\n",
       kPlain + "blocked (application/x-msdownload)\r\n",
       {{"AttachmentsBlocked", 1}}},
      {"an inline body of a renamed type becomes a renamed attachment",
       policy,
       "Content-Type: application/x-javascript\r\n\r\nalert(1)\r\n",
       attachmentHeader("application/quorix-renamed", "8bit", "ATT00001.js.qx") + "alert(1)\r\n",
       {{"AttachmentsBlocked", 1}}},
      {"a name in a charset not converted here keeps its label",
       policy,
       "Content-Type: image/jpeg\r\nContent-Disposition: attachment; "
       "filename*=x-klingon''%EC%CF\r\n\r\nx\r\n",
       "Content-Type: image/jpeg\r\nContent-Transfer-Encoding: 8bit\r\nContent-Disposition: attachment;\r\n"
       "\tfilename*=x-klingon''%EC%CF.jpg\r\n\r\nx\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"made safe it is ASCII and loses the label",
       sanitising,
       "Content-Type: image/jpeg\r\nContent-Disposition: attachment; "
       "filename*=x-klingon''%EC%CF.jpg\r\n\r\nx\r\n",
       attachmentHeader("image/jpeg", "8bit", "__.jpg") + "x\r\n",
       {{"AttachmentsRenamed", 1}}},
  });
}

// HTML as message text and as attachments.
TEST(FilteredSingleMIMEEntity, FiltersAndConvertsHTML) {
  const auto handling = [](int text, int attachments, bool rename = false) {
    return [=](FakeMessageProcessorInterface& s) {
      policy(s);
      s.options.RemoveScripting = true;
      s.options.AddEmailFooter = true;
      s.options.HTMLMessageTextHandling = text;
      s.options.HTMLAttachmentsHandling = attachments;
      s.options.RenameHTMLAttachments = rename;
    };
  };
  using I = MailParser::IMessageProcessorInterface;
  const std::string html = "<p onclick=\"x()\">Hi=3D<script>evil()</script></p>\r\n";
  const std::string htmlBase64 =  // "<b>caf\xe9</b>" in latin-1
      "PGI+Y2Fm6TwvYj4=\r\n";
  expectQuietCases({
      {"filtered text is written as quoted-printable without its charset",
       handling(I::htmlFilter, I::htmlFilter),
       "Content-Type: text/html; charset=iso-8859-1; format=x\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           htmlBase64,
       "Content-Type: text/html;\r\n\tformat=\"x\"\r\nContent-Transfer-Encoding: quoted-printable\r\n"
       "Content-Disposition: inline\r\n\r\n<b>caf&eacute;</b>\r\n",
       {}},
      {"the filter's removals are counted",
       handling(I::htmlFilter, I::htmlFilter),
       "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + html,
       "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\nContent-Disposition: "
       "inline\r\n"
       "\r\n<p>\r\n\r\nHi=3D</p>\r\n",
       {{"ScriptingRemoved", 2}}},
      {"don't filter passes it",
       handling(I::htmlDontFilter, I::htmlFilter),
       "Content-Type: text/html\r\n\r\n" + html,
       "Content-Type: text/html\r\nContent-Transfer-Encoding: 8bit\r\nContent-Disposition: inline\r\n\r\n" +
           html,
       {}},
      {"message text 2, shown as filter by the options, is filtered",
       handling(I::htmlBlock, I::htmlFilter),
       "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + html,
       "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\nContent-Disposition: "
       "inline\r\n"
       "\r\n<p>\r\n\r\nHi=3D</p>\r\n",
       {{"ScriptingRemoved", 2}}},
      {"converted text is UTF-8 plain text with the ASCII footer",
       handling(I::htmlConvertToText, I::htmlFilter),
       "Content-Type: text/html; charset=koi8-r\r\n\r\n<p>\xf0\xd2\xc9\xd7\xc5\xd4 <b>world</b></p>\r\n",
       "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n"
       "Content-Disposition: inline\r\n\r\n\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 world\r\n\r\n\r\n"
       "----\r\nprocessed\r\n",
       {{"AllHTMLRemoved", 1}}},
      {"an HTML attachment is filtered",
       handling(I::htmlFilter, I::htmlFilter),
       "Content-Type: text/html\r\nContent-Disposition: attachment; filename=page.html\r\n"
       "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
           html,
       "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n"
       "Content-Disposition: attachment;\r\n\tfilename=\"page.html\"\r\n\r\n<p>\r\n\r\nHi=3D</p>\r\n",
       {{"ScriptingRemoved", 2}}},
      {"and renamed when asked",
       handling(I::htmlFilter, I::htmlFilter, true),
       "Content-Type: text/html\r\nContent-Disposition: attachment; filename=page.html\r\n\r\n<i>x</i>\r\n",
       "Content-Type: application/quorix-renamed\r\nContent-Transfer-Encoding: quoted-printable\r\n"
       "Content-Disposition: attachment;\r\n\tfilename=\"page.html.qx\"\r\n\r\n<i>x</i>=20\r\n",
       {{"AttachmentsRenamed", 1}}},
      {"don't filter with renaming",
       handling(I::htmlFilter, I::htmlDontFilter, true),
       "Content-Type: text/html\r\nContent-Disposition: attachment; filename=page.htm\r\n\r\n" + html,
       attachmentHeader("application/quorix-renamed", "8bit", "page.htm.qx") + html,
       {{"AttachmentsRenamed", 1}}},
      {"a blocked HTML attachment",
       handling(I::htmlFilter, I::htmlBlock),
       "Content-Type: text/html\r\nContent-Disposition: attachment; filename=page.html\r\n\r\n" + html,
       kPlain + "blocked (text/html)\r\n",
       {{"AllHTMLRemoved", 1}, {"AttachmentsBlocked", 1}}},
      {"a converted HTML attachment is named .txt",
       handling(I::htmlFilter, I::htmlConvertToText),
       "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=page.html\r\n\r\n"
       "<p>a<br>b</p>\r\n",
       "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n"
       "Content-Disposition: attachment;\r\n\tfilename=\"page.txt\"\r\n\r\na\r\nb\r\n\r\n\r\n",
       {{"AllHTMLRemoved", 1}, {"AttachmentsRenamed", 1}}},
      {"an HTML text found by its type gets the HTML extension",
       handling(I::htmlFilter, I::htmlBlock),
       "Content-Type: text/html\r\nContent-Disposition: attachment; filename=page.dat\r\n\r\n" + html,
       kPlain + "blocked (text/html)\r\n",
       {{"AllHTMLRemoved", 1}, {"AttachmentsBlocked", 1}}},
  });
}

// An attached file must reach the reader with the bytes it was sent with, however often the
// message is filtered; only the message text is signed, and only once.
TEST(FilteredSingleMIMEEntity, FootersGoOnlyIntoMessageTextAndOnlyOnce) {
  const auto footers = [](FakeMessageProcessorInterface& s) {
    policy(s);
    s.options.AddEmailFooter = true;
    s.options.HTMLFooter = u"<div class=\"f\">processed</div>";
  };
  const std::string footed = "----\r\nprocessed\r\n";
  const std::string qpHTML = "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n";
  expectQuietCases({
      {"a text attachment by its disposition",
       footers,
       "Content-Type: text/plain\r\nContent-Disposition: attachment; filename=notes.txt\r\n\r\nhello\r\n",
       attachmentHeader("text/plain", "8bit", "notes.txt") + "hello\r\n",
       {}},
      {"a text attachment by its file name alone",
       footers,
       "Content-Type: text/plain; name=notes.txt\r\n\r\nhello\r\n",
       attachmentHeader("text/plain", "8bit", "notes.txt") + "hello\r\n",
       {}},
      {"a text that already ends with the footer",
       footers,
       "Content-Type: text/plain\r\n\r\nhello\r\n" + footed,
       kPlain + "hello\r\n" + footed,
       {}},
      {"a text that is the footer alone",
       footers,
       "Content-Type: text/plain\r\n\r\n" + footed,
       kPlain + footed,
       {}},
      {"a footer followed by more text gets one more",
       footers,
       "Content-Type: text/plain\r\n\r\n" + footed + "reply\r\n",
       kPlain + footed + "reply\r\n" + footed,
       {}},
      {"a last line that only ends like the footer",
       footers,
       "Content-Type: text/plain\r\n\r\n----\r\n" + std::string(40, 'x') + "processed\r\n",
       kPlain + "----\r\n" + std::string(40, 'x') + "processed\r\n" + footed,
       {}},
      {"a last line that only ends like a one-line footer",
       [&](FakeMessageProcessorInterface& s) {
         footers(s);
         s.options.PlainTextFooter = "processed";
       },
       "Content-Type: text/plain\r\n\r\nnot processed\r\n",
       kPlain + "not processed\r\nprocessed\r\n",
       {}},
      {"HTML message text gets the HTML footer",
       footers,
       qpHTML + "\r\n<p>hi</p>\r\n",
       qpHTML + "Content-Disposition: inline\r\n\r\n<p>\r\n\r\nhi</p><div class=3D\"f\">processed</div>\r\n",
       {}},
      {"but not when it already ends with it",
       footers,
       qpHTML + "\r\n<html><body><p>hi</p>\r\n<div class=3D\"f\">processed</div>=20\r\n</body></html>\r\n",
       qpHTML + "Content-Disposition: inline\r\n\r\n<html><body><p>\r\n\r\nhi</p> <div "
                "class=3D\"f\">processed</div> "
                "</body></html>\r\n",
       {}},
      {"nor an HTML attachment",
       footers,
       qpHTML + "Content-Disposition: attachment; filename=page.htm\r\n\r\n<p>hi</p>\r\n",
       qpHTML + "Content-Disposition: attachment;\r\n\tfilename=\"page.htm\"\r\n\r\n<p>\r\n\r\nhi</p>\r\n",
       {}},
  });
}

TEST(FilteredSingleMIMEEntity, ConvertedLinesAreCutBetweenCharacters) {
  const auto convert = [](FakeMessageProcessorInterface& s) {
    s.options.HTMLMessageTextHandling = MailParser::IMessageProcessorInterface::htmlConvertToText;
    s.options.MaxLineLength = 10;
  };
  // "a" then five two-byte characters: the cut falls inside the fifth, so it moves before it.
  const auto result = filterEveryWay(
      "Content-Type: text/html; charset=utf-8\r\n\r\n<p>a\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9z</p>\r\n",
      convert);
  EXPECT_EQ(result.output,
            "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n"
            "Content-Disposition: inline\r\n\r\na\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\r\n\xc3\xa9z\r\n\r\n\r\n");
}

// Settings whose HTML filter gives up on every document: the filter reads its options through
// the settings as it starts, and its one error is a std::runtime_error.
class RejectingSettings : public FakeMessageProcessorInterface {
 public:
  bool getRemoveScripting() override {
    throw std::runtime_error("close tag after block tag contents did not match");
  }
};

TEST(FilteredSingleMIMEEntity, HTMLTheFilterRejectsIsRemovedNotPassed) {
  struct Case {
    const char* what;
    std::string message;
    std::string output;
  };
  const Case cases[] = {
      {"the whole body", "Subject: s\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n",
       "Subject: s\r\n" + kPlain + "blocked (text/html)\r\n"},
      {"a part",
       "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ntext\r\n--b\r\n"
       "Content-Type: text/html\r\n\r\n<p>x</p>\r\n--b--\r\n",
       "Content-Type: multipart/mixed;\r\n\tboundary=\"qx_multipart_boundary_0=_\"\r\n\r\n"
       "--qx_multipart_boundary_0=_\r\n" +
           kPlain + "text\r\n--qx_multipart_boundary_0=_--\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RejectingSettings settings;
    {
      EngineTest::EntityDriver driver(settings);
      for (const auto& line : MailParserTest::splitCrLfLines(c.message)) {
        driver.processLine(line);
      }
      driver.end();
    }
    EXPECT_EQ(EngineTest::outputText(settings), c.output);
    EXPECT_EQ(settings.counts, (Counts{{"AttachmentsBlocked", 1}}));
    ASSERT_EQ(settings.statusMessages.size(), 1U);
    EXPECT_EQ(settings.statusMessages[0].first, MailParser::IMessageProcessorInterface::statusWarning);
    EXPECT_NE(settings.statusMessages[0].second.find("could not be filtered"), std::string::npos);
  }
}

TEST(FilteredSingleMIMEEntity, UnknownHTMLHandlingIsFilteringWithOneWarning) {
  struct Case {
    const char* what;
    int text;
    int attachments;
    std::string header;
    std::string writtenHeader;
  };
  const Case cases[] = {
      {"message text", 7, 0, "Content-Type: text/html\r\n",
       "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\nContent-Disposition: "
       "inline\r\n"},
      {"a negative value", -1, 0, "Content-Type: text/html\r\n",
       "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\nContent-Disposition: "
       "inline\r\n"},
      {"attachments", 0, 4, "Content-Type: text/html; name=a.htm\r\n",
       "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n"
       "Content-Disposition: attachment;\r\n\tfilename=\"a.htm\"\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto result =
        filterEveryWay(c.header + "\r\n<b onclick=x>a</b>\r\n", [&](FakeMessageProcessorInterface& s) {
          policy(s);
          s.options.RemoveScripting = true;
          s.options.HTMLMessageTextHandling = c.text;
          s.options.HTMLAttachmentsHandling = c.attachments;
        });
    EXPECT_EQ(result.output, c.writtenHeader + "\r\n<b>a</b>=20\r\n");
    ASSERT_EQ(result.statusMessages.size(), 1U);
    EXPECT_EQ(result.statusMessages[0].first, MailParser::IMessageProcessorInterface::statusWarning);
  }
}

// A settings interface that checks the stored value itself throws std::invalid_argument.
class CheckingSettings : public FakeMessageProcessorInterface {
 public:
  int getHTMLMessageTextHandling() override { throw std::invalid_argument("invalid html handling constant"); }
};

TEST(FilteredSingleMIMEEntity, AnHTMLHandlingRefusedByTheSettingsIsFilteringToo) {
  CheckingSettings settings;
  settings.options.RemoveScripting = true;
  {
    EngineTest::EntityDriver driver(settings);
    for (const auto* line : {"Content-Type: text/html", "", "<b onclick=x>a</b>"}) {
      driver.processLine(line);
    }
    driver.end();
  }
  EXPECT_EQ(EngineTest::outputText(settings),
            "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\nContent-Disposition: "
            "inline\r\n"
            "\r\n<b>a</b>=20\r\n");
  EXPECT_EQ(settings.statusMessages.size(), 1U);
}

TEST(FilteredSingleMIMEEntity, HTMLBeyondTheBufferLimitIsRemoved) {
  // Just over the limit in lines of 1000 bytes; the limit counts the encoded text with its
  // line breaks.
  const std::string line(998, 'a');
  const std::size_t lines = MailParser::MaxBufferedHTMLBytes / (line.size() + 2) + 1;
  for (const bool whole : {true, false}) {
    SCOPED_TRACE(whole ? "the whole body" : "a part");
    FakeMessageProcessorInterface settings;
    {
      EngineTest::EntityDriver driver(settings);
      if (!whole) {
        for (const auto* text : {"Content-Type: multipart/mixed; boundary=b", "", "--b", ""}) {
          driver.processLine(text);
        }
        driver.processLine("kept");
        driver.processLine("--b");
      }
      driver.processLine("Content-Type: text/html");
      driver.processLine("");
      for (std::size_t i = 0; i < lines; ++i) {
        driver.processLine(line);
      }
      driver.processLine("<script>after the limit</script>");
      driver.end();
    }
    const std::string output = EngineTest::outputText(settings);
    EXPECT_EQ(output.find("aaaa"), std::string::npos);
    EXPECT_EQ(output.find("script"), std::string::npos);
    if (whole) {
      EXPECT_EQ(output, kPlain + "blocked (text/html)\r\n");
    } else {
      EXPECT_NE(output.find("kept"), std::string::npos);
    }
    EXPECT_EQ(settings.counts, (Counts{{"AttachmentsBlocked", 1}}));
    ASSERT_EQ(settings.statusMessages.size(), 1U);
    EXPECT_EQ(settings.statusMessages[0].first, MailParser::IMessageProcessorInterface::statusWarning);
  }
}

TEST(FilteredSingleMIMEEntity, HTMLJustWithinTheLimitIsFiltered) {
  FakeMessageProcessorInterface settings;
  std::size_t written = 0;
  {
    EngineTest::EntityDriver driver(settings);
    driver.processLine("Content-Type: text/html");
    driver.processLine("");
    const std::string line(MailParser::MaxBufferedHTMLBytes - 2, 'a');
    driver.processLine(line);
    driver.end();
  }
  for (const auto& line : settings.lines) {
    written += line.size();
  }
  EXPECT_GT(written, MailParser::MaxBufferedHTMLBytes - 2);
  EXPECT_TRUE(settings.counts.empty());
  EXPECT_TRUE(settings.statusMessages.empty());
}

}  // namespace
