#include <gtest/gtest.h>

#include <string>

#include "mailparser/TransferCodings.h"

namespace {

using MailParser::TransferEncoding;

TEST(DecodeBody, DecodesOnlyTheCodingsThatHaveADecoder) {
  struct Case {
    TransferEncoding encoding;
    std::string block;
    std::string expected;
  };
  const Case cases[] = {
      {TransferEncoding::QuotedPrintable, "a=3Db\r\n", "a=b"},
      {TransferEncoding::Base64, "QUJD\r\n", "ABC"},
      {TransferEncoding::UUEncode, "#0V%T\r\n", "Cat"},
      // The block comes back as it is, closing CR LF included.
      {TransferEncoding::SevenBit, "a=3Db\r\n", "a=3Db\r\n"},
      {TransferEncoding::EightBit, "QUJD \xE9\r\n", "QUJD \xE9\r\n"},
      {TransferEncoding::Unknown, "#0V%T\r\n", "#0V%T\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MailParser::decodeBody(c.encoding, c.block), c.expected)
        << MailParser::transferEncodingName(c.encoding);
  }
}

}  // namespace
