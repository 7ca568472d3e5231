#include "mailparser/Charsets.h"

#include "common/AsciiCase.h"
#include "mailparser/UnicodeDecoders.h"

namespace MailParser {

namespace {

bool startsWith(std::string_view bytes, std::string_view mark) {
  return bytes.size() >= mark.size() && bytes.substr(0, mark.size()) == mark;
}

bool isWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string normaliseName(std::string_view name) {
  while (!name.empty() && isWhitespace(name.front())) {
    name.remove_prefix(1);
  }
  while (!name.empty() && isWhitespace(name.back())) {
    name.remove_suffix(1);
  }
  std::string lower = asciiLowerCase(name);
  if (lower.compare(0, 8, "unicode-") == 0) {
    lower.erase(0, 12);  // "unicode-1-1-" and "unicode-2-0-" only name the version
  }
  return lower;
}

}  // namespace

ByteOrderMark detectByteOrderMark(std::string_view bytes) noexcept {
  using namespace std::string_view_literals;
  if (startsWith(bytes, "+/v8"sv)) return ByteOrderMark::UTF7;
  if (startsWith(bytes, "\0\0\xFE\xFF"sv)) return ByteOrderMark::UTF32BigEndian;
  if (startsWith(bytes, "\xFF\xFE\0\0"sv)) return ByteOrderMark::UTF32LittleEndian;
  if (startsWith(bytes, "\xEF\xBB\xBF"sv)) return ByteOrderMark::UTF8;
  if (startsWith(bytes, "\xFF\xFE"sv)) return ByteOrderMark::UTF16LittleEndian;
  if (startsWith(bytes, "\xFE\xFF"sv)) return ByteOrderMark::UTF16BigEndian;
  return ByteOrderMark::None;
}

std::u16string toWide(std::string_view bytes, std::string_view charset, bool detectByteOrderMark) {
  using namespace UnicodeDecoders;
  if (detectByteOrderMark) {
    switch (MailParser::detectByteOrderMark(bytes)) {
      case ByteOrderMark::UTF7:
        return decodeUTF7(bytes, nullptr);
      case ByteOrderMark::UTF8:
        return decodeUTF8(bytes, nullptr);
      case ByteOrderMark::UTF16LittleEndian:
        return decodeUTF16LittleEndian(bytes, nullptr);
      case ByteOrderMark::UTF16BigEndian:
        return decodeUTF16BigEndian(bytes, nullptr);
      case ByteOrderMark::UTF32LittleEndian:
        return decodeUTF32LittleEndian(bytes, nullptr);
      case ByteOrderMark::UTF32BigEndian:
        return decodeUTF32BigEndian(bytes, nullptr);
      case ByteOrderMark::None:
        break;
    }
  }
  const ConvertersMap& converters = ConvertersMap::instance();
  const Converter* converter = converters.find(normaliseName(charset));
  return (converter != nullptr ? *converter : converters.fallback())(bytes);
}

}  // namespace MailParser
