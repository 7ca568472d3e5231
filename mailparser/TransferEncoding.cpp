#include "mailparser/TransferEncoding.h"

#include "common/AsciiCase.h"

namespace MailParser {

namespace {

constexpr std::string_view kWhitespace = " \t\r\n";

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(kWhitespace);
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(kWhitespace);
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string_view transferEncodingName(TransferEncoding encoding) noexcept {
  switch (encoding) {
    case TransferEncoding::SevenBit:
      return "7bit";
    case TransferEncoding::EightBit:
      return "8bit";
    case TransferEncoding::QuotedPrintable:
      return "quoted-printable";
    case TransferEncoding::Base64:
      return "base64";
    case TransferEncoding::UUEncode:
      return "x-uuencode";
    case TransferEncoding::Unknown:
      break;
  }
  return "unknown";
}

TransferEncoding parseTransferEncoding(std::string_view value) noexcept {
  struct Name {
    std::string_view text;
    TransferEncoding encoding;
  };
  static constexpr Name kNames[] = {
      {"", TransferEncoding::EightBit},
      {"8bit", TransferEncoding::EightBit},
      {"binary", TransferEncoding::EightBit},
      {"7bit", TransferEncoding::SevenBit},
      {"quoted-printable", TransferEncoding::QuotedPrintable},
      {"base64", TransferEncoding::Base64},
      {"x-uuencode", TransferEncoding::UUEncode},
      {"x-uue", TransferEncoding::UUEncode},
      {"uuencode", TransferEncoding::UUEncode},
  };
  const std::string_view trimmed = trim(value);
  for (const auto& name : kNames) {
    if (caseInsensitiveEquals(trimmed, name.text)) {
      return name.encoding;
    }
  }
  return TransferEncoding::Unknown;
}

}  // namespace MailParser
