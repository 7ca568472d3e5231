#include "mailparser/TransferCodings.h"

namespace MailParser {

namespace {

constexpr std::string_view kBeginWord = "begin";

constexpr bool isBeginSeparator(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string decodeBody(TransferEncoding encoding, std::string_view block) {
  switch (encoding) {
    case TransferEncoding::QuotedPrintable:
      return decodeQuotedPrintable(block);
    case TransferEncoding::Base64:
      return decodeBase64(block);
    case TransferEncoding::UUEncode:
      return decodeUUEncoded(block);
    case TransferEncoding::SevenBit:
    case TransferEncoding::EightBit:
    case TransferEncoding::Unknown:
      break;
  }
  return std::string(block);
}

bool isUUEncodeBeginLine(std::string_view line) noexcept {
  if (!line.starts_with(kBeginWord) || line.size() <= kBeginWord.size() ||
      !isBeginSeparator(line[kBeginWord.size()])) {
    return false;
  }
  std::size_t position = kBeginWord.size() + 1;
  while (position < line.size() && isBeginSeparator(line[position])) {
    ++position;
  }
  // The file mode is what tells a begin line from prose that starts with the word "begin".
  return position < line.size() && line[position] >= '0' && line[position] <= '9';
}

std::string neutraliseBeginLine(std::string_view line) {
  std::string result;
  result.reserve(line.size() + 1);
  result.push_back(' ');
  result.append(line);
  return result;
}

}  // namespace MailParser
