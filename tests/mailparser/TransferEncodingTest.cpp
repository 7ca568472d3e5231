#include <gtest/gtest.h>

#include <string>

#include "mailparser/TransferEncoding.h"

namespace {

using MailParser::TransferEncoding;

TEST(TransferEncoding, ParsesFieldValues) {
  struct Case {
    std::string value;
    TransferEncoding expected;
  };
  const Case cases[] = {
      {"", TransferEncoding::EightBit},
      {"   ", TransferEncoding::EightBit},
      {"8bit", TransferEncoding::EightBit},
      {"BINARY", TransferEncoding::EightBit},
      {"7Bit", TransferEncoding::SevenBit},
      {"Quoted-Printable", TransferEncoding::QuotedPrintable},
      {"\t base64\r\n ", TransferEncoding::Base64},
      {"x-uuencode", TransferEncoding::UUEncode},
      {"X-UUE", TransferEncoding::UUEncode},
      {"uuencode", TransferEncoding::UUEncode},
      {"8 bit", TransferEncoding::Unknown},
      {"base64x", TransferEncoding::Unknown},
      {"x-token", TransferEncoding::Unknown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MailParser::parseTransferEncoding(c.value), c.expected) << c.value;
  }
}

TEST(TransferEncoding, NamesEveryValue) {
  struct Case {
    TransferEncoding encoding;
    const char* name;
  };
  const Case cases[] = {
      {TransferEncoding::SevenBit, "7bit"},
      {TransferEncoding::EightBit, "8bit"},
      {TransferEncoding::QuotedPrintable, "quoted-printable"},
      {TransferEncoding::Base64, "base64"},
      {TransferEncoding::UUEncode, "x-uuencode"},
      {TransferEncoding::Unknown, "unknown"},
      {static_cast<TransferEncoding>(200), "unknown"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MailParser::transferEncodingName(c.encoding), c.name);
  }
}

}  // namespace
