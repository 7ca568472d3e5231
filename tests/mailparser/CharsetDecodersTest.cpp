// toWide through each decoder: one case array per behaviour, each case the whole input.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailparser/Charsets.h"

namespace {

using MailParser::ByteOrderMark;
using MailParser::toWide;
using namespace std::string_literals;

struct Case {
  const char* what;
  std::string charset;
  std::string bytes;
  std::u16string expected;
};

void expectCases(const std::vector<Case>& cases, bool detectMark = true) {
  for (const auto& c : cases) {
    EXPECT_EQ(toWide(c.bytes, c.charset, detectMark), c.expected) << c.what << " (" << c.charset << ")";
  }
}

TEST(CharsetDecoders, DetectsByteOrderMarks) {
  struct MarkCase {
    std::string bytes;
    ByteOrderMark expected;
  };
  const MarkCase cases[] = {
      {"+/v8-", ByteOrderMark::UTF7},
      {"\0\0\xFE\xFF"s, ByteOrderMark::UTF32BigEndian},
      {"\xFF\xFE\0\0"s, ByteOrderMark::UTF32LittleEndian},
      {"\xEF\xBB\xBF", ByteOrderMark::UTF8},
      {"\xFF\xFE\0"s, ByteOrderMark::UTF16LittleEndian},  // too short for the UTF-32 mark
      {"\xFF\xFE", ByteOrderMark::UTF16LittleEndian},
      {"\xFE\xFF", ByteOrderMark::UTF16BigEndian},
      {"\xEF\xBB", ByteOrderMark::None},
      {"+/v", ByteOrderMark::None},
      {"\xFE", ByteOrderMark::None},
      {"", ByteOrderMark::None},
      {"<html>", ByteOrderMark::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MailParser::detectByteOrderMark(c.bytes), c.expected) << testing::PrintToString(c.bytes);
  }
}

TEST(CharsetDecoders, AByteOrderMarkOverridesTheName) {
  expectCases({
      {"UTF-8 mark", "iso-8859-1", "\xEF\xBB\xBF\xC3\xA9", u"\u00E9"},
      {"UTF-16LE mark", "windows-1251", "\xFF\xFE\x41\x00"s, u"A"},
      {"UTF-16BE mark", "", "\xFE\xFF\x00\x41"s, u"A"},
      {"UTF-32LE mark", "utf-8", "\xFF\xFE\0\0\x00\xF6\x01\x00"s, u"\U0001F600"},
      {"UTF-32BE mark", "utf-8", "\0\0\xFE\xFF\0\x01\xF6\x00"s, u"\U0001F600"},
      {"UTF-7 mark", "us-ascii", "+/v8-a", u"a"},
  });
  // Off, the mark is text of the named charset.
  EXPECT_EQ(toWide("\xEF\xBB\xBF", "iso-8859-1", false), u"\u00EF\u00BB\u00BF");
}

TEST(CharsetDecoders, NamesAreTrimmedLowerCasedAndStrippedOfTheUnicodePrefix) {
  expectCases({
      {"spaces and upper case", " UTF-8 ", "\xC3\xA9", u"\u00E9"},
      {"tab and CR LF around", "\tKOI8-R\r\n", "\xC1", u"\u0430"},
      {"prefix rule", "unicode-1-1-utf-7", "+AGE-", u"a"},
      {"prefix rule", "UNICODE-2-0-UTF-8", "\xC3\xA9", u"\u00E9"},
      // Unknown and missing names decode as windows-1252: 0x80 is the euro sign, 0xE9 is é.
      {"unknown name", "x-unknown", "\x80\xE9", u"\u20AC\u00E9"},
      {"empty name", "", "\x80\xE9", u"\u20AC\u00E9"},
      {"blank name", "   ", "\x93q\x94", u"\u201Cq\u201D"},
      {"bare prefix", "unicode-", "\xE9", u"\u00E9"},
      // Labels browsers accept that mailers write.
      {"ISO name without hyphens", "iso885915", "\xA4", u"\u20AC"},
      {"ISO name without first hyphen", "ISO8859-7", "\xC1", u"\u0391"},
      {"Windows' unicode", "unicode", "a\0"s, u"a"},
      {"Hebrew logical order", "iso-8859-8-i", "\xE0", u"\u05D0"},
  });
}

// Each code page decodes with its own table; ASCII and Latin-1 labels as windows-1252.
TEST(CharsetDecoders, EachWindowsCodePageHasItsOwnTable) {
  expectCases({
      {"Greek", "windows-1253", "\xC1\xE8", u"\u0391\u03B8"},
      {"Turkish", "windows-1254", "\xD0\xFD", u"\u011E\u0131"},
      {"Hebrew", "windows-1255", "\xE0\xF9", u"\u05D0\u05E9"},
      {"Arabic", "windows-1256", "\xC7\xE1", u"\u0627\u0644"},
      {"Arabic", "cp1256", "\xC7", u"\u0627"},
      {"Baltic", "windows-1257", "\xC0\xE0", u"\u0104\u0105"},
      {"Vietnamese", "windows-1258", "\xC3\xF5", u"\u0102\u01A1"},
      {"ANSI is 1252", "x-ansi", "\x80\xE9", u"\u20AC\u00E9"},
      {"Cyrillic", "cp1251", "\xC0", u"\u0410"},
      // High-bit bytes in text labelled US-ASCII are windows-1252, never their low 7 bits.
      {"US-ASCII 8-bit", "us-ascii", "caf\xE9 \x93ok\x94", u"caf\u00E9 \u201Cok\u201D"},
      {"US-ASCII 0xC1", "ascii", "\xC1", u"\u00C1"},
      {"Latin-1 smart quotes", "iso-8859-1", "\x91x\x92", u"\u2018x\u2019"},
      // The later registration of "l5" and "csisolatin5" (ISO-8859-9) wins.
      {"l5 is Latin-5", "l5", "\xD0", u"\u011E"},
      {"EBCDIC", "cp424", "\xC1\x41", u"A\u05D0"},
      {"Mac line break kept", "macintosh", "a\rb\x8E", u"a\rb\u00E9"},
  });
}

// NUL, a lone CR and 8-bit bytes pass through every single-byte table that defines them.
TEST(CharsetDecoders, ControlsAndEightBitBytesPassThroughSingleByteTables) {
  expectCases({
      {"NUL", "windows-1252", "a\0b"s, u"a\0b"s},
      {"lone CR", "iso-8859-2", "a\rb", u"a\rb"},
      {"undefined byte", "windows-1253", "\xAA", u"\uFFFD"},
      {"C1 control of 1252", "windows-1252", "\x81\x8D", u"\u0081\u008D"},
  });
}

TEST(CharsetDecoders, UTF8) {
  expectCases(
      {
          {"two bytes", "utf-8", "\xC3\xA9", u"\u00E9"},
          {"three bytes", "utf-8", "\xE2\x82\xAC", u"\u20AC"},
          {"four bytes: a pair", "utf-8", "\xF0\x9F\x98\x80", u"\U0001F600"},
          {"highest", "utf-8", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
          {"NUL and lone CR", "utf-8", "\0\r"s, u"\0\r"s},
          {"bad continuation starts afresh", "utf-8", "\xC3\x41",
           u"\uFFFD"
           u"A"},
          {"continuation without lead", "utf-8",
           "\x80"
           "a",
           u"\uFFFD"
           u"a"},
          {"FE and FF", "utf-8", "\xFE\xFF", u"\uFFFD\uFFFD"},
          {"over-long slash", "utf-8", "\xC0\xAF", u"\uFFFD\uFFFD"},
          {"over-long three bytes", "utf-8", "\xE0\x80\xBC", u"\uFFFD\uFFFD\uFFFD"},
          {"encoded surrogate", "utf-8", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
          {"above U+10FFFF", "utf-8", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
          {"five-byte form", "utf-8", "\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
          {"truncated at the end", "utf-8", "ab\xE2\x82", u"ab\uFFFD"},
          {"truncated four bytes", "utf-8", "\xF0\x9F\x98", u"\uFFFD"},
          {"truncated then ASCII", "utf-8", "\xE2\x82<", u"\uFFFD<"},
          {"8-bit after an ASCII run", "utf-8", "abcdefghijkl\xC3\xA9mnopqrstuvwxyz",
           u"abcdefghijkl\u00E9mnopqrstuvwxyz"},
          {"mark skipped", "utf-8",
           "\xEF\xBB\xBF"
           "a",
           u"a"},
      },
      false);
}

TEST(CharsetDecoders, UTF16AndUTF32) {
  expectCases(
      {
          {"LE", "utf-16le", "a\0\xE9\0"s, u"a\u00E9"},
          {"BE", "utf-16be", "\0a\0\xE9"s, u"a\u00E9"},
          {"utf-16 is BE", "utf-16", "\x4E\x2D", u"\u4E2D"},
          {"pair", "utf-16le", "\x3D\xD8\x00\xDE"s, u"\U0001F600"},
          {"lone high", "utf-16le",
           "\x3D\xD8"
           "a\0"s,
           u"\uFFFD"
           u"a"},
          {"lone low", "utf-16be", "\xDE\x00", u"\uFFFD"},
          {"high at the end", "utf-16be", "\xD8\x3D", u"\uFFFD"},
          {"odd final byte", "utf-16le", "a\0b"s, u"a\uFFFD"},
          {"mark skipped", "utf-16le",
           "\xFF\xFE"
           "a\0"s,
           u"a"},
          {"32 LE", "utf-32le",
           "\x00\xF6\x01\x00"
           "a\0\0\0"s,
           u"\U0001F600"
           u"a"},
          {"32 BE", "utf-32", "\0\0\0a"s, u"a"},
          {"32 surrogate", "utf-32be", "\0\0\xD8\0"s, u"\uFFFD"},
          {"32 above U+10FFFF", "utf-32be", "\0\x11\0\0"s, u"\uFFFD"},
          {"32 huge", "utf-32le", "\xFF\xFF\xFF\xFF", u"\uFFFD"},
          {"32 leftover", "utf-32le", "a\0\0\0\x41\x42"s, u"a\uFFFD"},
          {"32 mark skipped", "utf-32be", "\0\0\xFE\xFF\0\0\0a"s, u"a"},
      },
      false);
}

TEST(CharsetDecoders, UTF7) {
  expectCases(
      {
          {"plus minus", "utf-7", "+-", u"+"},
          {"run ended by minus", "utf-7", "+AGE-x", u"ax"},
          {"run ended by other", "utf-7", "+AGE.", u"a."},
          {"run at the end", "utf-7", "+AGE", u"a"},
          {"plus at the end", "utf-7", "a+", u"a"},
          {"Japanese", "utf-7", "+ZeVnLIqe-", u"\u65E5\u672C\u8A9E"},
          {"pair", "utf-7", "+2D3eAA-", u"\U0001F600"},
          {"lone surrogate", "utf-7", "+2D0-", u"\uFFFD"},
          {"8-bit byte", "utf-7", "\xE9", u"\u00E9"},
          {"mark dropped", "utf-7", "+/v8-a", u"a"},
      },
      false);
}

TEST(CharsetDecoders, ChineseAndKorean) {
  expectCases({
      {"GBK pair", "gb2312", "\xC4\xE3\xBA\xC3", u"\u4F60\u597D"},
      {"GBK euro", "gbk", "\x80", u"\u20AC"},
      {"GBK FF", "gbk", "\xFF", u"\uFFFD"},
      {"GBK lead at the end", "gbk", "a\xC4", u"a\uFFFD"},
      {"GBK lead before <", "gbk", "\xC4<b>", u"\uFFFD<b>"},
      {"GBK lead before NUL", "gbk", "\xC4\0"s, u"\uFFFD\0"s},
      {"GB 18030 four bytes", "gb18030", "\x81\x30\x81\x30", u"\u0080"},
      {"GB 18030 astral", "gb18030", "\x95\x32\x82\x36", u"\U00020000"},
      {"GB 18030 cut short", "gb18030", "\x81\x30\x81",
       u"\uFFFD"
       u"0\uFFFD"},
      {"Big5", "big5", "\xA4\xA4\xA4\xE5", u"\u4E2D\u6587"},
      {"Big5 private rows", "big5", "\xC6\xA1", u"\uF6B1"},
      {"Big5 bad trail", "big5", "\xA4\x30",
       u"\uFFFD"
       u"0"},
      {"HKSCS astral", "big5-hkscs", "\x87\x40", u"\U000043F0"},
      {"HKSCS letter and mark", "big5-hkscs", "\x88\x62", u"\u00CA\u0304"},
      {"Hangul", "ks_c_5601-1987", "\xB0\xA1", u"\uAC00"},
      {"Hangul extension", "euc-kr", "\x81\x41", u"\uAC02"},
      {"won sign", "korean", "C:\\", u"C:\u20A9"},
      {"EUC-KR backslash", "euc-kr", "C:\\", u"C:\\"},
      {"HZ", "hz-gb-2312", "a~{VP~}b", u"a\u4E2Db"},
      {"HZ tilde", "hz-gb-2312", "~~", u"~"},
      {"HZ continuation", "hz-gb-2312", "a~\nb", u"ab"},
      {"HZ lone byte at the end", "hz-gb-2312", "~{V", u"V"},
      {"HZ byte outside", "hz-gb-2312", "~{\nV", u"\nV"},
  });
}

TEST(CharsetDecoders, JapaneseAndISO2022) {
  expectCases({
      {"ISO-2022-JP", "iso-2022-jp", "\x1B$B$3$s\x1B(Ba", u"\u3053\u3093a"},
      {"JIS Roman", "iso-2022-jp", "\x1B(J\\~", u"\u00A5\u203E"},
      {"katakana designated", "iso-2022-jp", "\x1B(I\x31", u"\uFF71"},
      {"SO shifts to G1", "iso-2022-jp", "\x0E\x31\x0F\x31",
       u"\uFF71"
       u"1"},
      {"unknown set", "iso-2022-jp", "\x1B$(Z!!\x1B(B!", u"\uFFFD\uFFFD!"},
      {"escape cut off", "iso-2022-jp", "a\x1B$", u"a\uFFFD"},
      {"pair cut off", "iso-2022-jp", "\x1B$B$", u"\uFFFD"},
      {"NUL and lone CR", "iso-2022-jp", "\0\r"s, u"\0\r"s},
      {"ISO-2022-KR", "iso-2022-kr",
       "\x1B$)C\x0E\x30\x21\x0F"
       "a",
       u"\uAC00"
       u"a"},
      {"EUC-JP", "euc-jp", "\xA4\xB3\xA4\xF3", u"\u3053\u3093"},
      {"EUC-JP katakana", "euc-jp", "\x8E\xB1", u"\uFF71"},
      {"EUC-JP JIS X 0212", "euc-jp", "\x8F\xB0\xA1", u"\u4E02"},
      {"EUC-JP ignores escapes", "euc-jp", "\x1B(J\\", u"\x1B(J\\"},
      {"EUC-JP cut off", "euc-jp", "\xA4", u"\uFFFD"},
      {"Shift_JIS", "shift_jis", "\x82\xB1\x82\xF1", u"\u3053\u3093"},
      {"Shift_JIS upper lead", "sjis", "\xE0\x40\xEA\xA4", u"\u6F3E\u7199"},
      {"Shift_JIS 8E is a lead", "shift_jis", "\x8E\x96", u"\u4E8B"},
      {"Shift_JIS halfwidth", "shift_jis", "\xB1", u"\uFF71"},
      {"Shift_JIS NEC row 13", "shift_jis", "\x87\x40", u"\u2460"},
      {"Shift_JIS wave dash", "shift_jis", "\x81\x60", u"\uFF5E"},
      {"Shift_JIS ESC is a control", "shift_jis", "\x1B(J\\", u"\x1B(J\\"},
      {"Shift_JIS lead before <", "shift_jis", "\x82<", u"\uFFFD<"},
      {"Shift_JIS lead at the end", "shift_jis", "\x82", u"\uFFFD"},
      {"Shift_JIS A0 and FD", "shift_jis", "\xA0\xFD", u"\uFFFD\uFFFD"},
  });
}

// Whatever the input, no decoder gives more code units than there are bytes, and none
// writes a surrogate that is not half of a pair.
TEST(CharsetDecoders, NoConverterOutgrowsItsInputOrWritesLoneSurrogates) {
  std::string allBytes;
  for (int b = 0; b < 256; ++b) {
    allBytes.push_back(static_cast<char>(b));
  }
  std::string reversed(allBytes.rbegin(), allBytes.rend());
  const std::string inputs[] = {
      allBytes,
      reversed,
      "\x1B$B\x1B$(D\x8F\x8E\xA1",
      "+2D3-+3gA-+2D0",
      "\xED\xA0\x80\xF0\x9F\x98",
      "~{~}~{\x81",
      std::string(1, '\0'),
      "\r",
      std::string(100000, '\xA4'),
      "\xD8\x3D\x3D\xD8",
  };
  for (const auto& [name, converter] : MailParser::ConvertersMap::instance().converters()) {
    for (const auto& input : inputs) {
      const std::u16string text = converter(input);
      ASSERT_LE(text.size(), input.size()) << name;
      for (std::size_t i = 0; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        const bool paired = high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        ASSERT_TRUE(!low && (!high || paired)) << name << ": lone surrogate at " << i;
        i += paired ? 1 : 0;
      }
    }
  }
}

TEST(CharsetDecoders, LongInputDecodesWhole) {
  std::string bytes;
  for (int i = 0; i < 200000; ++i) {
    bytes += "\xC3\xA9\xF0\x9F\x98\x80";
  }
  const std::u16string text = toWide(bytes, "utf-8", true);
  ASSERT_EQ(text.size(), 600000U);
  EXPECT_EQ(text.substr(599994), u"\u00E9\U0001F600\u00E9\U0001F600");
}

}  // namespace
