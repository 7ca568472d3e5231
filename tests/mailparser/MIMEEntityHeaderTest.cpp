#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailparser/Header.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/TransferEncoding.h"

namespace {

using MailParser::Header;
using MailParser::MIMEEntityHeader;
using MailParser::TransferEncoding;

Header headerOf(const std::vector<std::string>& lines) {
  Header header;
  for (const auto& line : lines) {
    header.addLine(line);
  }
  return header;
}

MIMEEntityHeader initialised(const std::vector<std::string>& lines, std::string_view defaultType) {
  MIMEEntityHeader header;
  static_cast<Header&>(header) = headerOf(lines);
  header.initialise(defaultType);
  return header;
}

TEST(MIMEEntityHeader, ReadsTheContentFields) {
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    const char* defaultType;
    std::string type;
    bool attachment;
    TransferEncoding encoding;
    std::string id, description, filename;
  };
  const Case cases[] = {
      {"no content fields take the defaults",
       {"Subject: s"},
       "text/plain",
       "text/plain",
       false,
       TransferEncoding::EightBit,
       "",
       "",
       ""},
      {"the caller's default type",
       {},
       "message/rfc822",
       "message/rfc822",
       false,
       TransferEncoding::EightBit,
       "",
       "",
       ""},
      {"every field, names in any case",
       {"CONTENT-TYPE: Application/PDF; name=a.pdf", "content-disposition: attachment; filename=\"a.pdf\"",
        "Content-Transfer-Encoding: BASE64", "Content-ID: <a@b>", "Content-Description: The report"},
       "text/plain",
       "Application/PDF",
       true,
       TransferEncoding::Base64,
       "<a@b>",
       "The report",
       "a.pdf"},
      {"comments are stripped from every field",
       {"Content-Type: text/html (fancy); charset=utf-8",
        "Content-Disposition: attachment (see below); "
        "filename=\"a (1).txt\"",
        "Content-Transfer-Encoding: quoted-printable (qp)", "Content-ID: <x@y> (cid)",
        "Content-Description: Scan (page 1)"},
       "text/plain",
       "text/html",
       true,
       TransferEncoding::QuotedPrintable,
       "<x@y> ",
       "Scan ",
       "a (1).txt"},
      {"two Content-Type fields cancel each other",
       {"Content-Type: text/html", "Content-Disposition: attachment",
        "content-type: application/x-msdownload"},
       "text/plain",
       "text/plain",
       true,
       TransferEncoding::EightBit,
       "",
       "",
       ""},
      {"inside a digest the repeated type falls back to message/rfc822",
       {"Content-Type: text/html", "Content-Type: text/plain"},
       "message/rfc822",
       "message/rfc822",
       false,
       TransferEncoding::EightBit,
       "",
       "",
       ""},
      {"a repeated disposition is dropped, the part is inline",
       {"Content-Disposition: inline", "Content-Disposition: attachment; filename=x.exe"},
       "text/plain",
       "text/plain",
       false,
       TransferEncoding::EightBit,
       "",
       "",
       ""},
      {"a repeated encoding falls back to 8bit",
       {"Content-Transfer-Encoding: base64", "Content-Transfer-Encoding: 7bit"},
       "text/plain",
       "text/plain",
       false,
       TransferEncoding::EightBit,
       "",
       "",
       ""},
      {"an unknown encoding",
       {"Content-Transfer-Encoding: x-gzip"},
       "text/plain",
       "text/plain",
       false,
       TransferEncoding::Unknown,
       "",
       "",
       ""},
      {"an unparsable type stays empty",
       {"Content-Type: foo"},
       "text/plain",
       "/",
       false,
       TransferEncoding::EightBit,
       "",
       "",
       ""},
      {"a folded Content-Type",
       {"Content-Type: application/octet-stream;", "\tname=\"setup.exe\""},
       "text/plain",
       "application/octet-stream",
       false,
       TransferEncoding::EightBit,
       "",
       "",
       ""},
  };
  for (const auto& c : cases) {
    const MIMEEntityHeader header = initialised(c.lines, c.defaultType);
    EXPECT_EQ(header.contentType.mainValue(), c.type) << c.what;
    EXPECT_EQ(header.contentDisposition.isAttachment, c.attachment) << c.what;
    EXPECT_EQ(header.transferEncoding, c.encoding) << c.what;
    EXPECT_EQ(header.contentId, c.id) << c.what;
    EXPECT_EQ(header.contentDescription, c.description) << c.what;
    const auto filename = header.contentDisposition.parameters.find("filename");
    EXPECT_EQ(filename == header.contentDisposition.parameters.end() ? "" : filename->second, c.filename)
        << c.what;
    EXPECT_FALSE(header.hasField("content-", false)) << c.what;
  }
}

TEST(MIMEEntityHeader, WritesOtherFieldsThenTheContentFieldsNormalised) {
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::string expected;
  };
  const Case cases[] = {
      {"a plain part gets its encoding and disposition spelled out",
       {"Subject: s"},
       "Subject: s\r\n"
       "Content-Type: text/plain\r\n"
       "Content-Transfer-Encoding: 8bit\r\n"
       "Content-Disposition: inline\r\n"},
      {"the content fields come after the others, which keep their order and folding",
       {"Content-Type: TEXT/HTML; Charset=iso-8859-1", "X-A: 1", "Content-Transfer-Encoding: 7bit", "X-B: 2,",
        "\t3"},
       "X-A: 1\r\n"
       "X-B: 2,\r\n\t3\r\n"
       "Content-Type: TEXT/HTML;\r\n\tCharset=\"iso-8859-1\"\r\n"
       "Content-Transfer-Encoding: 7bit\r\n"
       "Content-Disposition: inline\r\n"},
      {"a multipart has neither encoding nor disposition",
       {"Content-Type: multipart/mixed; boundary=b", "Content-Transfer-Encoding: 7bit"},
       "Content-Type: multipart/mixed;\r\n\tboundary=\"b\"\r\n"},
      {"Content-ID and Content-Description only when set",
       {"Content-Type: image/png", "Content-Transfer-Encoding: Base64", "Content-ID: <img1@x>",
        "Content-Description: logo", "Content-Disposition: attachment; filename=logo.png"},
       "Content-Type: image/png\r\n"
       "Content-Transfer-Encoding: base64\r\n"
       "Content-Disposition: attachment;\r\n\tfilename=\"logo.png\"\r\n"
       "Content-ID: <img1@x>\r\n"
       "Content-Description: logo\r\n"},
      {"other content fields are not carried over",
       {"Content-Language: en", "Content-Type: text/plain"},
       "Content-Type: text/plain\r\n"
       "Content-Transfer-Encoding: 8bit\r\n"
       "Content-Disposition: inline\r\n"},
      {"an unknown encoding is written as unknown",
       {"Content-Transfer-Encoding: x-gzip"},
       "Content-Type: text/plain\r\n"
       "Content-Transfer-Encoding: unknown\r\n"
       "Content-Disposition: inline\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(initialised(c.lines, "text/plain").toString(), c.expected) << c.what;
  }
}

TEST(MIMEEntityHeader, ConstructedFromAHeaderCopiesAndInitialises) {
  const Header source = headerOf({"Subject: s", "Content-Type: text/html", "Content-Type: text/plain"});
  const MIMEEntityHeader header(source);
  EXPECT_EQ(header.contentType.mainValue(), "text/plain");
  EXPECT_EQ(header.size(), 1U);
  EXPECT_EQ(source.size(), 3U);  // the source is left alone

  MIMEEntityHeader copy(header);
  copy.contentType.parameters["charset"] = "utf-8";
  EXPECT_TRUE(header.contentType.parameters.empty());
  EXPECT_NE(copy.findField("subject"), header.findField("subject"));
}

}  // namespace
