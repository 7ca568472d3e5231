// Decodes arbitrary bytes with every charset name. The first two bytes pick the name (the
// low 15 bits, little-endian, index the sorted names and one unknown name) and whether
// byte-order marks are detected (the top bit); the rest is the text. Checks:
// no output has more code units than the input has bytes; no decoder writes a lone
// surrogate; surrogate pairs come only from decoders whose input can encode a character
// above U+FFFF; and clean UTF-8, UTF-16 and UTF-32 input comes back byte for byte when the
// text is encoded again.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "mailparser/Charsets.h"
#include "mailparser/TableDecoders.h"
#include "mailparser/UnicodeDecoders.h"

namespace {

namespace U = MailParser::UnicodeDecoders;
namespace T = MailParser::TableDecoders;

const std::vector<std::string>& names() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> all;
    for (const auto& entry : MailParser::ConvertersMap::instance().converters()) {
      all.push_back(entry.first);
    }
    all.emplace_back("x-no-such-charset");
    return all;
  }();
  return list;
}

bool isHigh(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool isLow(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Counts the pairs and aborts on a lone surrogate.
std::size_t checkedPairs(const std::u16string& text) {
  std::size_t pairs = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isHigh(text[i])) {
      check(i + 1 < text.size() && isLow(text[i + 1]), "a high surrogate without its low half");
      ++pairs;
      ++i;
    } else {
      check(!isLow(text[i]), "a low surrogate without its high half");
    }
  }
  return pairs;
}

std::string encodeUTF16or32(const std::u16string& text, int width, bool bigEndian) {
  std::string bytes;
  const auto put = [&bytes, width, bigEndian](std::uint32_t value) {
    for (int k = 0; k < width; ++k) {
      const int shift = 8 * (bigEndian ? width - 1 - k : k);
      bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (width == 4 && isHigh(text[i])) {
      put(0x10000 + ((static_cast<std::uint32_t>(text[i]) - 0xD800) << 10) + (text[i + 1] - 0xDC00U));
      ++i;
    } else {
      put(text[i]);
    }
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) {
    return 0;
  }
  const std::string& name = names()[((data[1] & 0x7Fu) << 8 | data[0]) % names().size()];
  const bool detectMark = (data[1] & 0x80) != 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

  const std::u16string text = MailParser::toWide(bytes, name, detectMark);
  check(text.size() <= bytes.size(), "more code units than bytes");
  const std::size_t pairs = checkedPairs(text);

  const MailParser::Converter* converter = MailParser::ConvertersMap::instance().find(name);
  if (detectMark && MailParser::detectByteOrderMark(bytes) != MailParser::ByteOrderMark::None) {
    return 0;  // a mark chose the decoder
  }
  const auto decoder = converter != nullptr ? converter->decode : nullptr;
  const bool clean =
      text.find(u'\uFFFD') == std::u16string::npos && bytes.find("\xEF\xBB\xBF") == std::string_view::npos;
  if (decoder == &U::decodeUTF8) {
    // encodeUTF8 writes the non-characters U+FFFE and U+FFFF as U+FFFD.
    if (clean && text.find_first_of(u"\uFFFE\uFFFF") == std::u16string::npos) {
      std::string again;
      MailParser::encodeUTF8(again, text);
      check(again == bytes, "clean UTF-8 does not come back");
    }
  } else if (decoder == &U::decodeUTF16LittleEndian || decoder == &U::decodeUTF16BigEndian ||
             decoder == &U::decodeUTF32LittleEndian || decoder == &U::decodeUTF32BigEndian) {
    const bool wide = decoder == &U::decodeUTF32LittleEndian || decoder == &U::decodeUTF32BigEndian;
    const bool bigEndian = decoder == &U::decodeUTF16BigEndian || decoder == &U::decodeUTF32BigEndian;
    // A byte-order mark at the start is dropped by the decoder, so the text comes back without
    // it. (Counting units cannot tell: a pair takes two units where a mark took none.)
    using namespace std::string_view_literals;
    const std::string_view mark = wide ? (bigEndian ? "\0\0\xFE\xFF"sv : "\xFF\xFE\0\0"sv)
                                       : (bigEndian ? "\xFE\xFF"sv : "\xFF\xFE"sv);
    const std::string_view body = bytes.substr(0, mark.size()) == mark ? bytes.substr(mark.size()) : bytes;
    if (clean && text.find(u'\uFEFF') == std::u16string::npos) {
      check(encodeUTF16or32(text, wide ? 4 : 2, bigEndian) == body, "clean UTF-16 or UTF-32 does not come back");
    }
  } else if (decoder == &U::decodeUTF7) {
    // A pair needs at least the six base64 characters of its 32 bits.
    check(pairs * 6 <= bytes.size(), "more pairs than UTF-7 can encode");
  } else if (decoder == &T::decodeGBK) {
    check(pairs * 4 <= bytes.size(), "more pairs than four-byte codes");
  } else if (decoder == &T::decodeBig5HKSCS) {
    check(pairs * 2 <= bytes.size(), "more pairs than Big5 codes");
  } else {
    check(pairs == 0, "a pair from a decoder without characters above U+FFFF");
  }
  return 0;
}
