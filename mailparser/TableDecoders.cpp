#include "mailparser/TableDecoders.h"

#include <cstdint>

namespace MailParser::TableDecoders {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// How a double-byte code page treats what is not a pair.
struct DoubleByteCode {
  const DoubleByteTable& table;
  char16_t byte80;       // the single byte 0x80
  bool wonSign = false;  // 0x5C is U+20A9
};

std::u16string decodeDoubleByte(std::string_view bytes, const DoubleByteCode& code) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::u16string text(size, u'\0');
  char16_t* out = text.data();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char byte = data[i++];
    if (byte < 0x80) {
      *out++ = (code.wonSign && byte == 0x5C) ? u'\u20A9' : byte;
    } else if (byte == 0x80) {
      *out++ = code.byte80;
    } else if (byte == 0xFF || i == size) {
      *out++ = kReplacement;
    } else {
      const unsigned char trail = data[i];
      const char16_t unit = code.table.lookup(byte, trail);
      *out++ = unit;
      if (unit != kReplacement || trail >= 0x80) {
        ++i;
      }
    }
  }
  text.resize(static_cast<std::size_t>(out - text.data()));
  return text;
}

}  // namespace

std::u16string decodeSingleByte(std::string_view bytes, const void* table) {
  const SingleByteTable& units = *static_cast<const SingleByteTable*>(table);
  std::u16string text(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[i] = units[static_cast<unsigned char>(bytes[i])];
  }
  return text;
}

std::u16string decodeGBK(std::string_view bytes, const void* /*unused*/) {
  return decodeDoubleByte(bytes, {DoubleByteTables::gbk, u'\u20AC'});
}

std::u16string decodeBig5(std::string_view bytes, const void* /*unused*/) {
  return decodeDoubleByte(bytes, {DoubleByteTables::big5, u'\u0080'});
}

std::u16string decodeUnifiedHangul(std::string_view bytes, const void* /*unused*/) {
  return decodeDoubleByte(bytes, {DoubleByteTables::unifiedHangul, u'\u0080', true});
}

std::u16string decodeHZ(std::string_view bytes, const void* /*unused*/) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::u16string text;
  text.reserve(size);
  bool gbMode = false;
  std::size_t i = 0;
  while (i < size) {
    const unsigned char byte = data[i];
    const bool hasNext = i + 1 < size;
    const unsigned char next = hasNext ? data[i + 1] : 0;
    if (byte == '~' && hasNext && next == (gbMode ? '}' : '{')) {
      gbMode = !gbMode;
      i += 2;
    } else if (!gbMode) {
      if (byte == '~' && hasNext && next == '~') {
        text.push_back(u'~');
        i += 2;
      } else if (byte == '~' && hasNext && next == '\n') {
        i += 2;
      } else {
        text.push_back(byte);
        ++i;
      }
    } else if (byte >= 0x21 && byte <= 0x7E && hasNext && next >= 0x21 && next <= 0x7E) {
      text.push_back(DoubleByteTables::gbk.lookup(byte | 0x80, next | 0x80));
      i += 2;
    } else {
      // A byte that cannot start a pair, or a pair cut short: each byte is itself.
      text.push_back(byte);
      ++i;
    }
  }
  return text;
}

}  // namespace MailParser::TableDecoders
