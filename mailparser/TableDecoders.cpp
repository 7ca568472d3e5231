#include "mailparser/TableDecoders.h"

#include <algorithm>
#include <cstdint>

namespace MailParser::TableDecoders {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// How a double-byte code page treats what is not a pair.
struct DoubleByteCode {
  const DoubleByteTable& table;
  char16_t byte80;        // the single byte 0x80
  bool wonSign = false;   // 0x5C is U+20A9
  bool fourByte = false;  // GB 18030's four-byte codes
  bool extras = false;    // units 0xD800.. index big5HKSCSExtras
};

bool isDigit(unsigned char byte) {
  return byte >= 0x30 && byte <= 0x39;
}

char16_t* putCodePoint(char16_t* out, char32_t code) {
  if (code < 0x10000) {
    *out++ = static_cast<char16_t>(code);
  } else {
    *out++ = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  }
  return out;
}

// The character of a GB 18030 four-byte code, or U+FFFD.
char32_t gb18030FourByte(const unsigned char* code) {
  const std::uint32_t index =
      ((code[0] - 0x81U) * 10 + (code[1] - 0x30U)) * 1260 + (code[2] - 0x81U) * 10 + (code[3] - 0x30U);
  constexpr std::uint32_t kFirstSupplementary = 189000;
  if (index >= kFirstSupplementary) {
    return index - kFirstSupplementary < 0x100000 ? 0x10000 + (index - kFirstSupplementary) : 0xFFFD;
  }
  const DoubleByteTables::GB18030Range* first = DoubleByteTables::gb18030Ranges;
  const DoubleByteTables::GB18030Range* last = first + DoubleByteTables::gb18030RangeCount;
  const auto* range =
      std::upper_bound(first, last, index, [](std::uint32_t i, const auto& r) { return i < r.index; });
  --range;  // the first range starts at index 0
  return range->code == 0 ? 0xFFFD : range->code + (index - range->index);
}

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
    } else if (code.fourByte && isDigit(data[i])) {
      // Only a whole four-byte code is taken; otherwise the bytes after the lead start afresh.
      if (i + 2 < size && data[i + 1] >= 0x81 && data[i + 1] <= 0xFE && isDigit(data[i + 2])) {
        out = putCodePoint(out, gb18030FourByte(data + i - 1));
        i += 3;
      } else {
        *out++ = kReplacement;
      }
    } else {
      const unsigned char trail = data[i];
      const char16_t unit = code.table.lookup(byte, trail);
      if (code.extras && unit >= 0xD800 && unit <= 0xDFFF) {
        const char32_t* extra = DoubleByteTables::big5HKSCSExtras[unit - 0xD800];
        out = putCodePoint(out, extra[0]);
        if (extra[1] != 0) {
          out = putCodePoint(out, extra[1]);
        }
      } else {
        *out++ = unit;
      }
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
  return decodeDoubleByte(bytes, {DoubleByteTables::gbk, u'\u20AC', false, true});
}

std::u16string decodeBig5(std::string_view bytes, const void* /*unused*/) {
  return decodeDoubleByte(bytes, {DoubleByteTables::big5, u'\u0080'});
}

std::u16string decodeBig5HKSCS(std::string_view bytes, const void* /*unused*/) {
  return decodeDoubleByte(bytes, {DoubleByteTables::big5HKSCS, u'\u0080', false, false, true});
}

std::u16string decodeUnifiedHangul(std::string_view bytes, const void* wonSign) {
  return decodeDoubleByte(bytes,
                          {DoubleByteTables::unifiedHangul, u'\u0080', *static_cast<const bool*>(wonSign)});
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
